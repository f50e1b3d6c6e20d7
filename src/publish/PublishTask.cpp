#include "publish/PublishTask.h"

#include "publish/FtpClient.h"

#include <QThread>

PublishTask::PublishTask(ClientFactory factory, QObject *parent)
    : QObject(parent), factory_(std::move(factory))
{
}

PublishTask::~PublishTask()
{
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

bool PublishTask::start(PublishJob job)
{
    if (thread_)
        return false;
    thread_ = QThread::create([this, job = std::move(job)]() mutable {
        std::unique_ptr<FtpClient> ftp = factory_();
        // Emitted from the worker: queued to the owner's thread in emission order.
        PublishOutcome result = PublishSite(
            std::move(job), *ftp, [this](const QString &line) { emit lineWritten(line); });
        ftp.reset();
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result)]() mutable {
                thread_->wait();
                delete thread_;
                thread_ = nullptr;
                outcome_ = std::move(result);
                emit finished();
            },
            Qt::QueuedConnection);
    });
    thread_->start();
    return true;
}

void PublishTask::wait()
{
    if (thread_)
        thread_->wait();
}

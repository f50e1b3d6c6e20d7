#include "publish/PublishTask.h"

#include "publish/FtpClient.h"
#include "publish/WorkerThread.h"

#include <QThread>

#include <exception>
#include <utility>

namespace vellumet
{

namespace
{

// Stands in when no connection could be made at all, so that the run still saves the
// local copies and reports the failure like any failed login.
class UnavailableFtpClient final : public FtpClient
{
public:
    explicit UnavailableFtpClient(QString reason) : reason_(std::move(reason)) {}
    Result<> connect(const QString &, const QString &, const QString &) override
    {
        return failure(reason_);
    }
    QString currentDirectory() override { return {}; }
    Result<> changeDir(const QString &) override { return failure(reason_); }
    Result<> getFile(const QString &, const QString &) override { return failure(reason_); }
    Result<> putFile(const QString &, const QString &) override { return failure(reason_); }
    void disconnect() override {}

private:
    QString reason_;
};

std::unique_ptr<FtpClient> makeClient(const PublishTask::ClientFactory &factory)
{
    QString reason = QStringLiteral("The connection could not be set up");
    try {
        if (std::unique_ptr<FtpClient> ftp = factory())
            return ftp;
    } catch (const std::exception &e) {
        reason += QStringLiteral(" (") + QString::fromLocal8Bit(e.what()) + u')';
    } catch (...) {
    }
    return std::make_unique<UnavailableFtpClient>(reason);
}

} // namespace

PublishTask::PublishTask(ClientFactory factory, QObject *parent)
    : QObject(parent), factory_(std::move(factory))
{
}

PublishTask::~PublishTask()
{
    if (thread_) {
        cancel();
        thread_->wait();
        delete thread_;
    }
}

bool PublishTask::start(PublishJob job, bool askForPassword)
{
    if (thread_)
        return false;
    cancelled_ = false;
    PasswordSource askPassword;
    if (askForPassword)
        askPassword = [this] { return waitForPassword(); };
    auto run = [this, job = std::move(job), askPassword]() mutable {
        std::unique_ptr<FtpClient> ftp = makeClient(factory_);
        // Emitted from the worker: queued to the owner's thread in emission order.
        // The run's other connections come from the same factory, on threads of their own.
        return publishSite(
            std::move(job), *ftp, [this](const QString &line) { emit lineWritten(line); },
            &cancelled_, factory_, askPassword);
    };
    startOnWorker(this, thread_, std::move(run), [this](PublishOutcome result) {
        outcome_ = std::move(result);
        emit finished();
    });
    return true;
}

// On the run's thread: the owner's thread answers, perhaps after asking the user.
Result<QString> PublishTask::waitForPassword()
{
    std::unique_lock lock(passwordMutex_);
    password_.reset();
    awaitingPassword_ = true;
    emit passwordNeeded();
    // A cancel does not notify: looking at it now and then is enough.
    while (!password_ && !cancelled_)
        passwordAnswered_.wait_for(lock, std::chrono::milliseconds(50));
    awaitingPassword_ = false;
    if (!password_)
        return failure(QStringLiteral("No password was given"));
    return *std::exchange(password_, std::nullopt);
}

void PublishTask::answerPassword(const Result<QString> &password)
{
    const std::lock_guard lock(passwordMutex_);
    if (!awaitingPassword_)
        return;
    password_ = password;
    passwordAnswered_.notify_all();
}

bool PublishTask::wait(std::chrono::milliseconds limit)
{
    if (!thread_)
        return true;
    if (limit == std::chrono::milliseconds::max())
        return thread_->wait();
    return thread_->wait(QDeadlineTimer(limit));
}

} // namespace vellumet

#pragma once

#include <QObject>
#include <QThread>

#include <utility>

namespace vellumet
{

// Runs work on a thread of its own, so the window stays responsive; its result reaches
// deliver on owner's thread once that thread has ended and thread is null again.
template <typename Work, typename Deliver>
void startOnWorker(QObject *owner, QThread *&thread, Work work, Deliver deliver)
{
    thread = QThread::create(
        [owner, &thread, work = std::move(work), deliver = std::move(deliver)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(
                owner,
                [&thread, deliver = std::move(deliver), result = std::move(result)]() mutable {
                    thread->wait();
                    delete thread;
                    thread = nullptr;
                    deliver(std::move(result));
                },
                Qt::QueuedConnection);
        });
    thread->start();
}

} // namespace vellumet

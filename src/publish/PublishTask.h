#pragma once

#include "publish/PublishRun.h"

#include <QObject>

#include <functional>
#include <memory>

class QThread;

namespace vellumet
{

// Runs a publish run on a worker thread so the window stays responsive. Lines arrive
// through lineWritten on the owner's thread, in order, before finished.
class PublishTask final : public QObject
{
    Q_OBJECT
public:
    using ClientFactory = std::function<std::unique_ptr<FtpClient>()>;

    explicit PublishTask(ClientFactory factory, QObject *parent = nullptr);
    ~PublishTask() override;

    // Starts a run; refused (false) while one is running.
    bool start(PublishJob job);
    bool isRunning() const { return thread_ != nullptr; }
    // Blocks until the running run has ended (its finished signal is still delivered
    // through the event loop).
    void wait();
    const PublishOutcome &outcome() const { return outcome_; }

signals:
    void lineWritten(const QString &line);
    void finished();

private:
    ClientFactory factory_;
    QThread *thread_ = nullptr;
    PublishOutcome outcome_;
};

} // namespace vellumet

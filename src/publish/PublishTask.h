#pragma once

#include "publish/PublishRun.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace vellumet
{

// Runs a publish run on a worker thread so the window stays responsive. Lines arrive
// through lineWritten on the owner's thread, in order, before finished.
class PublishTask final : public QObject
{
    Q_OBJECT
public:
    using ClientFactory = FtpClientFactory;

    explicit PublishTask(ClientFactory factory, QObject *parent = nullptr);
    ~PublishTask() override;

    // Starts a run; refused (false) while one is running. With askForPassword the run,
    // once the local copies are saved, emits passwordNeeded and waits for answerPassword
    // or a cancel.
    bool start(PublishJob job, bool askForPassword = false);
    // Ignored unless the run waits for it.
    void answerPassword(const Result<QString> &password);
    bool isRunning() const { return thread_ != nullptr; }
    // Asks the running run to stop soon: it skips what is left, closes the connection
    // and ends with its usual closing lines.
    void cancel() { cancelled_ = true; }
    // Blocks until the running run has ended, or at most limit; true when no run is
    // left running. Its finished signal is still delivered through the event loop.
    bool wait(std::chrono::milliseconds limit = std::chrono::milliseconds::max());
    const PublishOutcome &outcome() const { return outcome_; }

signals:
    void lineWritten(const QString &line);
    void passwordNeeded();
    void finished();

private:
    Result<QString> waitForPassword();

    ClientFactory factory_;
    QThread *thread_ = nullptr;
    PublishOutcome outcome_;
    std::atomic_bool cancelled_ = false;
    std::mutex passwordMutex_;
    std::condition_variable passwordAnswered_;
    bool awaitingPassword_ = false;
    std::optional<Result<QString>> password_;
};

} // namespace vellumet

#pragma once

#include <QObject>

class QSocketNotifier;

namespace vellumet
{

// The system's and the user's requests to end the program (a shutdown, a closed terminal
// or ssh session, a service manager, Ctrl+C: SIGTERM, SIGHUP and SIGINT) arrive as the
// received signal on the main thread, where the window can still save and a command can
// stop its run cleanly. Each platform has its own file behind this class.
class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;
    Q_DISABLE_COPY_MOVE(TerminationSignals)

    // False when the handlers could not be installed; the signals then keep their
    // default action.
    bool isInstalled() const { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *notifier_ = nullptr;
};

} // namespace vellumet

#pragma once

#include <QObject>

class QSocketNotifier;

namespace vellumet
{

// SIGTERM and SIGHUP (a system shutdown, a closed terminal, a service manager) arrive
// as the received signal on the UI thread, where the window can still save. A signal
// handler may do next to nothing, so it only writes a byte into a socket pair.
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

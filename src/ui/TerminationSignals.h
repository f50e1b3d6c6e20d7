#pragma once

#include <QObject>

class QSocketNotifier;

namespace vellumet
{

// The system's requests to end the program (a shutdown, a closed terminal, a service
// manager: SIGTERM and SIGHUP) arrive as the received signal on the UI thread, where the
// window can still save. Each platform has its own file behind this class.
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

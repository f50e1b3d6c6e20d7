#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vellumet
{

namespace
{

int signalSockets[2] = {-1, -1};
constexpr int HandledSignals[] = {SIGTERM, SIGHUP, SIGINT};

// A signal handler may do next to nothing, so it only writes a byte into a socket pair.
extern "C" void onTerminationSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
}

void restoreDefaults()
{
    for (int signalNumber : HandledSignals)
        std::signal(signalNumber, SIG_DFL);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (signalSockets[0] >= 0)
        return; // one receiver per process
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    ::fcntl(signalSockets[0], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : HandledSignals) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            restoreDefaults();
            ::close(signalSockets[0]);
            ::close(signalSockets[1]);
            signalSockets[0] = signalSockets[1] = -1;
            return;
        }
    }
    notifier_ = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    restoreDefaults();
    delete notifier_;
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

void TerminationSignals::readSignal()
{
    unsigned char byte = 0;
    if (::read(signalSockets[1], &byte, 1) == 1)
        emit received(byte);
}

} // namespace vellumet

#include "DaemonProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMultiHash>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Every process below root, children before their parents' siblings' children.
QList<pid_t> DescendantsOf(pid_t root)
{
    QMultiHash<pid_t, pid_t> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...", and the name may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children.insert(pid_t(fields[1].toInt()), pid);
    }
    QList<pid_t> found{root};
    for (qsizetype i = 0; i < found.size(); ++i)
        found.append(children.values(found[i]));
    found.removeFirst();
    return found;
}

} // namespace

DaemonProcess::~DaemonProcess()
{
    stop();
}

bool DaemonProcess::start(const QString &program, const QStringList &arguments,
                          const QString &logFile)
{
    stop();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(logFile);
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.start(program, arguments);
    return process_.waitForStarted(5000);
}

void DaemonProcess::stop()
{
    if (!isRunning())
        return;
    const pid_t main = pid_t(process_.processId());
    const QList<pid_t> sessions = DescendantsOf(main);
    for (pid_t pid : sessions)
        ::kill(pid, SIGTERM);
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
    for (pid_t pid : sessions)
        ::kill(pid, SIGKILL);
}

quint16 FreeLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool DaemonProcess::waitUntilListening(quint16 port)
{
    const QDeadlineTimer deadline(10000);
    while (isRunning() && !IsListening(port) && !deadline.hasExpired())
        QThread::msleep(20);
    if (isRunning() && IsListening(port))
        return true;
    stop();
    return false;
}

bool IsListening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    // "sl local_address rem_address st ...", addresses as hex "0100007F:0015"; 0A = LISTEN
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
            return true;
    }
    return false;
}

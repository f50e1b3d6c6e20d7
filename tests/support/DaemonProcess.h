#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A server program that a test starts as root (vsftpd, sshd). Such servers fork a process
// per session; stop() ends the whole tree, so that no session outlives the test.
class DaemonProcess final
{
public:
    DaemonProcess() = default;
    ~DaemonProcess();
    Q_DISABLE_COPY_MOVE(DaemonProcess)

    // Starts program with its standard output and error going to logFile.
    bool start(const QString &program, const QStringList &arguments, const QString &logFile);
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    // Waits up to ten seconds for the server to listen on port; stops it when it does not.
    bool waitUntilListening(quint16 port);
    void stop();

private:
    QProcess process_;
};

// A TCP port on 127.0.0.1 that nothing listens on just now.
quint16 FreeLocalPort();

// Whether something listens on 127.0.0.1:port; asked of the kernel, so no connection is
// made that the server would count.
bool IsListening(quint16 port);

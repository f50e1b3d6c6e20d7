#pragma once

#include "DaemonProcess.h"

#include <QStringList>
#include <QTemporaryDir>

// OpenSSH's sshd on 127.0.0.1 and a free port, offering nothing but SFTP, by password, to
// TestSystemUser, shut in a temporary folder of its own (under /run, since sshd shuts
// sessions only in folders whose every parent only root may write) where a login lands
// in startDir. Its host key is made afresh.
class SshTestServer final
{
public:
    SshTestServer() = default;
    ~SshTestServer() { stop(); }
    Q_DISABLE_COPY_MOVE(SshTestServer)

    // False with errorString() when the server could not be started.
    bool start(const QString &startDir = QStringLiteral("/site"));
    void stop();
    QString errorString() const { return error_; }

    QString address() const; // "127.0.0.1:port"
    // The host key's fingerprint as ssh-keygen shows it: "SHA256:..."
    QString fingerprint() const { return fingerprint_; }

    // Paths below the served root, "/" separated, e.g. "/site/index.html".
    QString localPath(const QString &remotePath) const;
    bool writeFile(const QString &remotePath, const QByteArray &bytes) const;
    QByteArray readFile(const QString &remotePath) const;

    // What sshd logged so far.
    QStringList log() const;
    // Connections that reached sshd, and password logins it was asked to check.
    int connections() const;
    int passwordsChecked() const;

private:
    QTemporaryDir dir_{QStringLiteral("/run/vellumet-sftp-XXXXXX")};
    DaemonProcess process_;
    quint16 port_ = 0;
    QString fingerprint_;
    QString error_;
};

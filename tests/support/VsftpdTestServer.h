#pragma once

#include "DaemonProcess.h"

#include <QStringList>
#include <QTemporaryDir>

// vsftpd on 127.0.0.1 and a free port, with TLS required on the control and the data
// connections (AUTH TLS, or implicit) and require_ssl_reuse: a data connection that does
// not resume the control connection's TLS session is refused, as by many hosts. Logs in
// TestSystemUser, shut in a temporary folder of its own where a login lands in "/".
class VsftpdTestServer final
{
public:
    struct Options {
        QString certificate;
        QString key;
        bool implicitTls = false;
    };

    VsftpdTestServer() = default;
    ~VsftpdTestServer() { stop(); }
    Q_DISABLE_COPY_MOVE(VsftpdTestServer)

    // False with errorString() when the server could not be started.
    bool start(const Options &options);
    void stop();
    QString errorString() const { return error_; }

    QString address() const; // "127.0.0.1:port"

    // Paths below the served root, "/" separated, e.g. "/public/index.html".
    QString localPath(const QString &remotePath) const;
    bool writeFile(const QString &remotePath, const QByteArray &bytes) const;
    QByteArray readFile(const QString &remotePath) const;

    // Every command received so far, in order, as vsftpd logs them ("PASS <password>").
    QStringList commands() const;
    int connections() const;

private:
    QByteArray log() const;

    QTemporaryDir dir_;
    DaemonProcess process_;
    quint16 port_ = 0;
    QString error_;
};

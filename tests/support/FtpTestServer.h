#pragma once

#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>

// A real server for tests, on 127.0.0.1 and a free port, serving a temporary folder of its
// own to one user: pyftpdlib for FTP and FTPS, OpenSSH's sshd for SFTP (it needs root).
// Stopped, with no process left, on destruction.
class FtpTestServer final
{
public:
    enum class Kind { Ftp, FtpsExplicit, FtpsImplicit, Sftp };

    explicit FtpTestServer(Kind kind = Kind::Ftp);
    ~FtpTestServer() { stop(); }
    Q_DISABLE_COPY_MOVE(FtpTestServer)

    // Options as ftp_test_server.py takes them ("--cut=STOR:2:50000"). False with
    // errorString() when it did not start. For SFTP, files written before the start are
    // the user's to replace.
    bool start(const QStringList &options = {});
    void stop();
    QString errorString() const { return error_; }

    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    QString url() const; // the address with the kind's scheme, as a site's SERVER
    static QString user() { return QStringLiteral("vellumet-test"); }
    static QString password() { return QStringLiteral("p@ss w:rd/%"); } // must survive escaping
    QString pin() const { return pin_; } // the key a trust file pins, TLS or SSH
    QString authority() const { return dir_.filePath(QStringLiteral("authority.pem")); }

    // Paths below the served root, "/" separated, e.g. "/site/index.html".
    QString localPath(const QString &path) const { return dir_.filePath("root") + path; }
    bool writeFile(const QString &path, const QByteArray &bytes) const
    {
        return writeTestFile(localPath(path), bytes);
    }
    QByteArray readFile(const QString &path) const { return readTestFile(localPath(path)); }
    int connections() const { return logged("Connection from "); }
    int logins() const { return logged("password for "); } // passwords it was asked to check

private:
    int logged(const char *text) const
    {
        return int(readTestFile(dir_.filePath("server.log")).count(text));
    }

    Kind kind_;
    QTemporaryDir dir_; // sshd shuts sessions only in folders whose parents are root's alone
    QProcess process_;
    quint16 port_ = 0;
    QString pin_;
    QString error_;
};

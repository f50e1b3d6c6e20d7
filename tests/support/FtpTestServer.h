#pragma once

#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QProcess>

// A real server on 127.0.0.1 serving a temporary folder to one user (ftp_test_server.py).
class FtpTestServer final
{
public:
    enum class Kind { Ftp, FtpsExplicit, FtpsImplicit, Sftp };

    explicit FtpTestServer(Kind kind = Kind::Ftp)
        : kind_(kind), dir_(kind == Kind::Sftp ? u"/run/vellumet-XXXXXX"_s
                                               : QDir::tempPath() + "/vellumet-XXXXXX")
    {
        QDir(dir_.path()).mkpath(u"root"_s);
    }
    ~FtpTestServer() { stop(); }
    Q_DISABLE_COPY_MOVE(FtpTestServer)

    // Script options ("--cut=STOR:2:50000"); false if not started; SFTP: files are the user's.
    bool start(const QStringList &options = {})
    {
        stop();
        // Copied out of the resources: a test run as nobody may not read the clone.
        const QString script = dir_.filePath(u"server.py"_s);
        QFile::remove(script);
        QFile::copy(u":/ftp_test_server.py"_s, script);
        static const char *const kinds[] = {"ftp", "explicit", "implicit", "sftp"};
        process_.setWorkingDirectory(dir_.path());
        process_.setStandardErrorFile(dir_.filePath("server.err"));
        process_.start("/usr/bin/python3",
                       QStringList{script, dir_.path(), kinds[int(kind_)], user(), password()} +
                           options);
        for (const QDeadlineTimer deadline(15000); !process_.canReadLine() &&
                                                   process_.state() != QProcess::NotRunning &&
                                                   !deadline.hasExpired();)
            process_.waitForReadyRead(int(deadline.remainingTime()));
        const QList<QByteArray> line = process_.readLine().trimmed().split(' '); // PORT <n> <pin>
        port_ = line.size() == 3 && line[0] == "PORT" ? quint16(line[1].toUInt()) : 0;
        pin_ = line.value(2) == "-" ? QString() : QString::fromLatin1(line.value(2));
        error_ = "the server did not start: " + readTestFile(dir_.filePath("server.err"));
        return port_ != 0 || (stop(), false);
    }
    void stop()
    {
        process_.closeWriteChannel(); // the server exits when its input ends
        if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
        port_ = 0;
    }
    QString errorString() const { return error_; }

    QString address() const { return u"127.0.0.1:%1"_s.arg(port_); }
    QString url() const // the address with the kind's scheme, as a site's SERVER
    {
        static const char *const schemes[] = {"ftp://", "ftpes://", "ftps://", "sftp://"};
        return QLatin1StringView(schemes[int(kind_)]) + address();
    }
    static QString user() { return u"vellumet-test"_s; }
    static QString password() { return u"p@ss w:rd/%"_s; } // must survive escaping
    QString pin() const { return pin_; }                   // the key a trust file pins, TLS or SSH
    QString authority() const { return dir_.filePath(u"authority.pem"_s); }

    // Paths below the served root, "/" separated, e.g. "/site/index.html".
    QString localPath(const QString &path) const { return dir_.filePath("root") + path; }
    bool writeFile(const QString &path, const QByteArray &bytes) const
    {
        return writeTestFile(localPath(path), bytes);
    }
    QByteArray readFile(const QString &path) const { return readTestFile(localPath(path)); }
    int connections() const { return logged("Connection from "); }
    int logins() const { return logged("password for "); } // passwords it was asked to check
    int fullHandshakes() const { return logged("TLS handshake"); } // of TLS control connections

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

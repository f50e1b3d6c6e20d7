#include "FtpTestServer.h"

#include "TestFiles.h"

#include <QDeadlineTimer>

#include <unistd.h>

FtpTestServer::FtpTestServer(Kind kind)
    : kind_(kind), dir_(kind == Kind::Sftp ? QStringLiteral("/run/vellumet-XXXXXX")
                                           : QDir::tempPath() + QStringLiteral("/vellumet-XXXXXX"))
{
    QDir(dir_.path()).mkpath(QStringLiteral("root"));
}

QString FtpTestServer::unavailable(Kind kind)
{
    return kind == Kind::Sftp && geteuid() != 0 ? QStringLiteral("sshd needs root") : QString();
}

bool FtpTestServer::start(const Options &options)
{
    stop();
    // Copied out of the resources, since a test run as nobody may not read the clone.
    const QString script = dir_.filePath(QStringLiteral("server.py"));
    QFile::remove(script);
    QFile::copy(QStringLiteral(":/ftp_test_server.py"), script);
    QStringList args{script,
                     "--root",
                     localPath({}),
                     "--dir",
                     dir_.path(),
                     "--user",
                     user(),
                     "--password",
                     password(),
                     "--log",
                     dir_.filePath("server.log"),
                     "--start-dir",
                     options.startDir,
                     "--cut",
                     options.cut,
                     "--certificate",
                     options.certificate.isEmpty() ? "trusted" : options.certificate};
    for (const QString &command : options.stallOn)
        args << "--stall-on" << command;
    for (const QString &line : options.refuse)
        args << "--refuse" << line;
    if (options.silent)
        args << "--silent";
    if (options.noRenameOver)
        args << "--no-rename-over";
    if (kind_ == Kind::Sftp)
        args << "--sftp";
    else if (kind_ != Kind::Ftp)
        args << "--tls" << (kind_ == Kind::FtpsImplicit ? "implicit" : "explicit");
    process_.setWorkingDirectory(dir_.path());
    process_.setStandardErrorFile(dir_.filePath("server.err"));
    process_.start(QStringLiteral("/usr/bin/python3"), args);
    QDeadlineTimer deadline(15000);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process_.waitForReadyRead(int(deadline.remainingTime()));
    const QList<QByteArray> line = process_.readLine().trimmed().split(' '); // PORT <n> <pin>
    port_ = line.size() == 3 && line[0] == "PORT" ? quint16(line[1].toUInt()) : 0;
    pin_ = line.value(2) == "-" ? QString() : QString::fromLatin1(line.value(2));
    if (port_ == 0) {
        error_ = "the server did not start: " +
                 QString::fromUtf8(readTestFile(dir_.filePath("server.err")));
        stop();
    }
    return port_ != 0;
}

void FtpTestServer::stop()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel(); // the server exits when its input ends
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    port_ = 0;
}

QString FtpTestServer::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QString FtpTestServer::url() const
{
    static const char *const schemes[] = {"ftp://", "ftpes://", "ftps://", "sftp://"};
    return QLatin1StringView(schemes[int(kind_)]) + address();
}

QString FtpTestServer::localPath(const QString &remotePath) const
{
    return dir_.filePath(QStringLiteral("root")) + remotePath;
}

bool FtpTestServer::writeFile(const QString &remotePath, const QByteArray &bytes) const
{
    return writeTestFile(localPath(remotePath), bytes);
}

QByteArray FtpTestServer::readFile(const QString &remotePath) const
{
    return readTestFile(localPath(remotePath));
}

int FtpTestServer::logged(const QString &text) const
{
    return int(QString::fromUtf8(readTestFile(dir_.filePath("server.log"))).count(text));
}

int FtpTestServer::connections() const
{
    return logged(QStringLiteral("Connection from "));
}

int FtpTestServer::logins() const
{
    return logged(QStringLiteral("password for "));
}

#include "FtpTestServer.h"

#include <QDeadlineTimer>

FtpTestServer::FtpTestServer(Kind kind)
    : kind_(kind), dir_(kind == Kind::Sftp ? QStringLiteral("/run/vellumet-XXXXXX")
                                           : QDir::tempPath() + QStringLiteral("/vellumet-XXXXXX"))
{
    QDir(dir_.path()).mkpath(QStringLiteral("root"));
}

bool FtpTestServer::start(const QStringList &options)
{
    stop();
    // Copied out of the resources: a test run as nobody may not read the clone.
    const QString script = dir_.filePath(QStringLiteral("server.py"));
    QFile::remove(script);
    QFile::copy(QStringLiteral(":/ftp_test_server.py"), script);
    static const char *const kinds[] = {"ftp", "explicit", "implicit", "sftp"};
    process_.setWorkingDirectory(dir_.path());
    process_.setStandardErrorFile(dir_.filePath("server.err"));
    process_.start(QStringLiteral("/usr/bin/python3"),
                   QStringList{script, dir_.path(), kinds[int(kind_)], user(), password()} +
                       options);
    const QDeadlineTimer deadline(15000);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process_.waitForReadyRead(int(deadline.remainingTime()));
    const QList<QByteArray> line = process_.readLine().trimmed().split(' '); // PORT <n> <pin>
    port_ = line.size() == 3 && line[0] == "PORT" ? quint16(line[1].toUInt()) : 0;
    pin_ = line.value(2) == "-" ? QString() : QString::fromLatin1(line.value(2));
    error_ =
        "the server did not start: " + QString::fromUtf8(readTestFile(dir_.filePath("server.err")));
    if (port_ == 0)
        stop();
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

QString FtpTestServer::url() const
{
    static const char *const schemes[] = {"ftp://", "ftpes://", "ftps://", "sftp://"};
    return QLatin1StringView(schemes[int(kind_)]) + address();
}

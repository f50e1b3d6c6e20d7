#include "FtpTestServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace
{

// Debian's pyftpdlib is seen only by the system's interpreter, not by one earlier on PATH.
const QString Python = QStringLiteral("/usr/bin/python3");

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

FtpTestServer::~FtpTestServer()
{
    stop();
}

bool FtpTestServer::start(const Options &options)
{
    stop();
    if (!dir_.isValid() || !QDir(dir_.path()).mkpath(QStringLiteral("root"))) {
        error_ = QStringLiteral("no temporary folder for the server");
        return false;
    }
    QStringList args{QStringLiteral(VELLUMET_FTP_TEST_SERVER), QStringLiteral("--root"),
                     dir_.filePath(QStringLiteral("root"))};
    if (options.silent)
        args << QStringLiteral("--silent");
    args << QStringLiteral("--user") << user() << QStringLiteral("--password") << password()
         << QStringLiteral("--log") << dir_.filePath(QStringLiteral("commands.log"));
    if (!options.startDir.isEmpty())
        args << QStringLiteral("--start-dir") << options.startDir;
    for (const QString &command : options.stallOn)
        args << QStringLiteral("--stall-on") << command;
    for (const QString &command : options.refuse)
        args << QStringLiteral("--refuse") << command;
    if (options.noRenameOver)
        args << QStringLiteral("--no-rename-over");
    for (const QString &folder : options.readOnly)
        args << QStringLiteral("--read-only") << folder;
    if (!options.tlsCertificate.isEmpty())
        args << QStringLiteral("--tls-cert") << options.tlsCertificate
             << QStringLiteral("--tls-key") << options.tlsKey;
    if (options.implicitTls)
        args << QStringLiteral("--implicit-tls");

    process_.setStandardErrorFile(dir_.filePath(QStringLiteral("server.err")));
    process_.start(Python, args);
    // The server prints its port once it listens.
    QDeadlineTimer deadline(15000);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process_.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray line = process_.readLine().trimmed();
    if (line.startsWith("PORT "))
        port_ = quint16(line.mid(5).toUInt());
    if (port_ == 0) {
        error_ = QStringLiteral("the FTP server did not start: ") +
                 QString::fromUtf8(ReadAll(dir_.filePath(QStringLiteral("server.err"))));
        stop();
        return false;
    }
    return true;
}

bool FtpTestServer::start()
{
    return start(Options());
}

void FtpTestServer::stop()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel(); // the server exits when its input ends
        if (!process_.waitForFinished(3000)) {
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

QString FtpTestServer::localPath(const QString &remotePath) const
{
    return dir_.filePath(QStringLiteral("root")) + remotePath;
}

bool FtpTestServer::writeFile(const QString &remotePath, const QByteArray &bytes) const
{
    const QString path = localPath(remotePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray FtpTestServer::readFile(const QString &remotePath) const
{
    return ReadAll(localPath(remotePath));
}

QStringList FtpTestServer::logLines() const
{
    const QString log = QString::fromUtf8(ReadAll(dir_.filePath(QStringLiteral("commands.log"))));
    return log.split(u'\n', Qt::SkipEmptyParts);
}

// Each log line is "<connection> <command line>".
QStringList FtpTestServer::commands() const
{
    QStringList commands;
    for (const QString &line : logLines())
        commands.append(line.section(u' ', 1));
    return commands;
}

int FtpTestServer::connections() const
{
    QSet<QString> ids;
    for (const QString &line : logLines())
        ids.insert(line.section(u' ', 0, 0));
    return int(ids.size());
}

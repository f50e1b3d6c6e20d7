#include "PureFtpdTestServer.h"

#include "ScriptProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace
{

const QString Prefix = QStringLiteral(VELLUMET_PURE_FTPD_PREFIX);

bool GiveToNobody(const QString &path)
{
    const passwd *nobody = ::getpwnam("nobody");
    return nobody &&
           ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
}

} // namespace

QString PureFtpdTestServer::unavailableReason()
{
    if (!QFileInfo(Prefix + QStringLiteral("/usr/sbin/pure-ftpd")).isExecutable())
        return QStringLiteral("pure-ftpd is not unpacked in %1; run scripts/setup").arg(Prefix);
    if (::geteuid() != 0)
        return QStringLiteral("pure-ftpd needs root to shut its user in a folder");
    return {};
}

bool PureFtpdTestServer::start(const QStringList &pureFtpdOptions)
{
    stop();
    error_ = unavailableReason();
    if (!error_.isEmpty())
        return false;
    const QString root = dir_.filePath(QStringLiteral("root"));
    const QString work = dir_.filePath(QStringLiteral("work"));
    if (!QDir().mkpath(root) || !QDir().mkpath(work) || !GiveToNobody(root)) {
        error_ = QStringLiteral("no folder for pure-ftpd");
        return false;
    }
    const QStringList args =
        QStringList{QStringLiteral("--prefix"),   Prefix,     QStringLiteral("--root"), root,
                    QStringLiteral("--work"),     work,       QStringLiteral("--user"), user(),
                    QStringLiteral("--password"), password(), QStringLiteral("--")} +
        pureFtpdOptions;
    port_ = StartScript(process_, QStringLiteral(VELLUMET_PURE_FTPD_SERVER), args,
                        dir_.filePath(QStringLiteral("server.err")), &error_);
    return port_ != 0;
}

void PureFtpdTestServer::stop()
{
    StopScript(process_);
    port_ = 0;
}

QString PureFtpdTestServer::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QString PureFtpdTestServer::localPath(const QString &remotePath) const
{
    return dir_.filePath(QStringLiteral("root")) + remotePath;
}

bool PureFtpdTestServer::writeFile(const QString &remotePath, const QByteArray &bytes) const
{
    const QString path = localPath(remotePath);
    const QString root = localPath(QString());
    if (!QDir().mkpath(root) || !GiveToNobody(root))
        return false;
    // Each folder on the way belongs to the user too.
    for (QString folder = QFileInfo(path).path(); folder.size() > root.size();
         folder = QFileInfo(folder).path()) {
        if (!QDir().mkpath(folder) || !GiveToNobody(folder))
            return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           GiveToNobody(path);
}

QByteArray PureFtpdTestServer::readFile(const QString &remotePath) const
{
    QFile file(localPath(remotePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#include "site/FolderLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vellumet
{

FolderLock::FolderLock(const QString &folder) : lock_(folder + u'/' + QLatin1String(LockFileName))
{
    // Only a dead owner makes a lock stale: a long edit is no reason to take it over.
    lock_.setStaleLockTime(0);
}

Result<> FolderLock::take()
{
    if (lock_.isLocked() || lock_.tryLock(0))
        return {};
    if (lock_.error() != QLockFile::LockFailedError)
        return {};
    qint64 pid = 0;
    QString host, program;
    if (!lock_.getLockInfo(&pid, &host, &program))
        return failure(QStringLiteral("Another program is using this folder (%1 is locked).")
                           .arg(QDir::toNativeSeparators(lock_.fileName())));
    return failure(
        QStringLiteral("Process %1 (%2) on %3 is using this folder. If it no longer runs, "
                       "delete %4.")
            .arg(QString::number(pid), program.isEmpty() ? QStringLiteral("?") : program,
                 host.isEmpty() ? QStringLiteral("this computer") : host,
                 QDir::toNativeSeparators(lock_.fileName())));
}

bool isProgramFileName(const QString &name)
{
    static const QStringList own = {
        QStringLiteral("vellumet"),
        QStringLiteral("vellumet.ini"),
        QStringLiteral("vellumet-trust.txt"),
        QLatin1String(LockFileName),
        QStringLiteral("history"),
        QStringLiteral("vellumet.png"),
        QStringLiteral("vellumet.desktop.in"),
        QStringLiteral("install-menu-entry.sh"),
        QStringLiteral("README-developer.txt"),
        QStringLiteral("example"),
        // What a self-contained folder brings: Qt reads qt.conf at every start.
        QStringLiteral("qt.conf"),
        QStringLiteral("lib"),
        QStringLiteral("plugins"),
        QStringLiteral("licenses"),
    };
    if (own.contains(name, Qt::CaseInsensitive))
        return true;
    // The program may have been renamed; its folder is the program folder.
    if (!QCoreApplication::instance())
        return false;
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return !program.isEmpty() && name.compare(program, Qt::CaseInsensitive) == 0;
}

} // namespace vellumet

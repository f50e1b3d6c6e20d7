#include "TestSystemUser.h"

#include <QDirIterator>
#include <QProcess>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace
{

// useradd and chpasswd give up while another test holds the lock on /etc/passwd.
bool RunUntilDone(const QString &program, const QStringList &arguments, const QByteArray &input,
                  QString *error)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        QProcess process;
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return true;
        *error =
            program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAllStandardError());
        if (program.endsWith(QStringLiteral("useradd")) &&
            getpwnam(qPrintable(TestSystemUser::name())))
            return true; // another test made it meanwhile
        QThread::msleep(100);
    }
    return false;
}

} // namespace

bool TestSystemUser::canBeMade()
{
    return geteuid() == 0;
}

bool TestSystemUser::ensure(QString *error)
{
    static bool ready = false;
    if (ready)
        return true;
    if (!canBeMade()) {
        *error = QStringLiteral("vsftpd and sshd log in only system users, and making one "
                                "needs root");
        return false;
    }
    if (!getpwnam(qPrintable(name())) &&
        !RunUntilDone(QStringLiteral("/usr/sbin/useradd"),
                      {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                       QStringLiteral("--home-dir"), QStringLiteral("/"), QStringLiteral("--shell"),
                       QStringLiteral("/usr/sbin/nologin"), name()},
                      {}, error))
        return false;
    ready = RunUntilDone(QStringLiteral("/usr/sbin/chpasswd"), {},
                         (name() + u':' + password() + u'\n').toUtf8(), error);
    return ready;
}

bool TestSystemUser::handOver(const QString &folder, Top top)
{
    const passwd *account = getpwnam(qPrintable(name()));
    if (!account)
        return false;
    bool all = top == Top::Keep || ::lchown(QFile::encodeName(folder).constData(), account->pw_uid,
                                            account->pw_gid) == 0;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        all = ::lchown(QFile::encodeName(entries.next()).constData(), account->pw_uid,
                       account->pw_gid) == 0 &&
              all;
    return all;
}

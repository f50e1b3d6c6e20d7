#include "SshTestServer.h"

#include "TestSystemUser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace
{

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

QByteArray Config(const QString &dir, quint16 port, const QString &startDir)
{
    const QByteArray folder = QFile::encodeName(dir);
    return "ListenAddress 127.0.0.1:" + QByteArray::number(port) +
           "\n"
           "HostKey " +
           folder +
           "/host_key\n"
           "PidFile none\n"
           "LogLevel VERBOSE\n"
           "UsePAM no\n"
           "PasswordAuthentication yes\n"
           "KbdInteractiveAuthentication no\n"
           "PubkeyAuthentication no\n"
           "AuthorizedKeysFile none\n"
           "PermitRootLogin no\n"
           "AllowUsers " +
           TestSystemUser::name().toUtf8() +
           "\n"
           "ChrootDirectory " +
           folder +
           "/root\n"
           "ForceCommand internal-sftp -d " +
           QFile::encodeName(startDir) +
           "\n"
           "Subsystem sftp internal-sftp\n"
           "AllowTcpForwarding no\n"
           "X11Forwarding no\n"
           "PermitTTY no\n"
           "UseDNS no\n";
}

} // namespace

bool SshTestServer::start(const QString &startDir)
{
    stop();
    if (!TestSystemUser::ensure(&error_))
        return false;
    QDir dir(dir_.path());
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadOther | QFileDevice::ExeOther;
    // sshd's own empty folder for its unprivileged half; Debian makes it at boot only
    // where sshd runs as a service.
    if (!dir_.isValid() || !QDir().mkpath(QStringLiteral("/run/sshd")) ||
        !dir.mkpath(QStringLiteral("root") + startDir) ||
        !QFile::setPermissions(dir_.path(), open) ||
        !QFile::setPermissions(dir.filePath(QStringLiteral("root")), open) ||
        !TestSystemUser::handOver(dir.filePath(QStringLiteral("root")),
                                  TestSystemUser::Top::Keep)) {
        error_ = QStringLiteral("no folder under /run for sshd (it needs root)");
        return false;
    }
    const QString hostKey = dir.filePath(QStringLiteral("host_key"));
    QByteArray listing;
    if (!Run(QStringLiteral("ssh-keygen"),
             {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
              QStringLiteral("-N"), QString(), QStringLiteral("-f"), hostKey}) ||
        !Run(QStringLiteral("ssh-keygen"), {QStringLiteral("-l"), QStringLiteral("-f"), hostKey},
             &listing)) {
        error_ = QStringLiteral("ssh-keygen could not make a host key");
        return false;
    }
    fingerprint_ = QString::fromUtf8(listing.split(' ').value(1)); // "256 SHA256:... comment"

    // A port taken between our look and sshd's bind makes it quit; then try another.
    const QString logFile = dir.filePath(QStringLiteral("sshd.log"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreeLocalPort();
        QFile config(dir.filePath(QStringLiteral("sshd_config")));
        if (!config.open(QIODevice::WriteOnly) ||
            config.write(Config(dir_.path(), port_, startDir)) < 0) {
            error_ = QStringLiteral("could not write the sshd configuration");
            return false;
        }
        config.close();
        // sshd re-executes itself, so it must be named by its full path.
        if (!process_.start(QStringLiteral("/usr/sbin/sshd"),
                            {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
                             config.fileName()},
                            logFile)) {
            error_ = QStringLiteral("sshd did not start; scripts/setup installs openssh-server");
            return false;
        }
        if (process_.waitUntilListening(port_))
            return true;
    }
    error_ = QStringLiteral("sshd did not listen: ") + QString::fromUtf8(ReadAll(logFile));
    port_ = 0;
    return false;
}

void SshTestServer::stop()
{
    process_.stop();
    port_ = 0;
}

QString SshTestServer::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QString SshTestServer::localPath(const QString &remotePath) const
{
    return dir_.filePath(QStringLiteral("root")) + remotePath;
}

bool SshTestServer::writeFile(const QString &remotePath, const QByteArray &bytes) const
{
    const QString path = localPath(remotePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    file.close();
    return written && TestSystemUser::handOver(dir_.filePath(QStringLiteral("root")),
                                               TestSystemUser::Top::Keep);
}

QByteArray SshTestServer::readFile(const QString &remotePath) const
{
    return ReadAll(localPath(remotePath));
}

QStringList SshTestServer::log() const
{
    return QString::fromUtf8(ReadAll(dir_.filePath(QStringLiteral("sshd.log"))))
        .split(u'\n', Qt::SkipEmptyParts);
}

int SshTestServer::connections() const
{
    return int(log().filter(QStringLiteral("Connection from ")).size());
}

int SshTestServer::passwordsChecked() const
{
    const QStringList lines = log();
    return int(lines.filter(QStringLiteral("Accepted password for")).size() +
               lines.filter(QStringLiteral("Failed password for")).size());
}

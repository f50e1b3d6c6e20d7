#include "VsftpdTestServer.h"

#include "TestSystemUser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Config(const QString &dir, quint16 port, const VsftpdTestServer::Options &options)
{
    const QByteArray folder = QFile::encodeName(dir);
    QByteArray config = "listen=YES\n"
                        "listen_ipv6=NO\n"
                        "listen_address=127.0.0.1\n"
                        "listen_port=" +
                        QByteArray::number(port) +
                        "\n"
                        "background=NO\n"
                        "anonymous_enable=NO\n"
                        "local_enable=YES\n"
                        "write_enable=YES\n"
                        "local_umask=022\n"
                        "local_root=" +
                        folder +
                        "/root\n"
                        "chroot_local_user=YES\n"
                        "allow_writeable_chroot=YES\n"
                        "secure_chroot_dir=" +
                        folder +
                        "/empty\n"
                        // No such PAM service: PAM's "other" applies, which checks the
                        // password and not the shell, which the test user lacks.
                        "pam_service_name=vellumet-test-vsftpd\n"
                        "seccomp_sandbox=NO\n"
                        "connect_from_port_20=NO\n"
                        "pasv_address=127.0.0.1\n"
                        "ssl_enable=YES\n"
                        "rsa_cert_file=" +
                        QFile::encodeName(options.certificate) +
                        "\n"
                        "rsa_private_key_file=" +
                        QFile::encodeName(options.key) +
                        "\n"
                        "force_local_logins_ssl=YES\n"
                        "force_local_data_ssl=YES\n"
                        "require_ssl_reuse=YES\n"
                        "ssl_sslv2=NO\n"
                        "ssl_sslv3=NO\n"
                        "ssl_tlsv1=NO\n"
                        // vsftpd's own choice, DES-CBC3-SHA, is one OpenSSL 3 refuses.
                        "ssl_ciphers=HIGH\n"
                        "log_ftp_protocol=YES\n"
                        "xferlog_enable=YES\n"
                        "xferlog_std_format=NO\n"
                        "dual_log_enable=NO\n"
                        "vsftpd_log_file=" +
                        folder + "/vsftpd.log\n";
    if (options.implicitTls)
        config += "implicit_ssl=YES\n";
    return config;
}

} // namespace

bool VsftpdTestServer::start(const Options &options)
{
    stop();
    if (!TestSystemUser::ensure(&error_))
        return false;
    QDir dir(dir_.path());
    // The user's sessions must get through the folder to the root they are shut in.
    if (!dir_.isValid() || !dir.mkpath(QStringLiteral("root")) ||
        !dir.mkpath(QStringLiteral("empty")) ||
        !QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                QFileDevice::ExeOther)) {
        error_ = QStringLiteral("no temporary folder for vsftpd");
        return false;
    }
    // A port taken between our look and vsftpd's bind makes it quit; then try another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreeLocalPort();
        QFile config(dir.filePath(QStringLiteral("vsftpd.conf")));
        if (!config.open(QIODevice::WriteOnly) ||
            config.write(Config(dir_.path(), port_, options)) < 0) {
            error_ = QStringLiteral("could not write the vsftpd configuration");
            return false;
        }
        config.close();
        if (!process_.start(QStringLiteral("/usr/sbin/vsftpd"), {config.fileName()},
                            dir.filePath(QStringLiteral("vsftpd.out")))) {
            error_ = QStringLiteral("vsftpd did not start; scripts/setup installs it");
            return false;
        }
        if (process_.waitUntilListening(port_))
            return true;
    }
    error_ = QStringLiteral("vsftpd did not listen: ") +
             QString::fromUtf8(ReadAll(dir.filePath(QStringLiteral("vsftpd.out"))));
    port_ = 0;
    return false;
}

void VsftpdTestServer::stop()
{
    process_.stop();
    port_ = 0;
}

QString VsftpdTestServer::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QString VsftpdTestServer::localPath(const QString &remotePath) const
{
    return dir_.filePath(QStringLiteral("root")) + remotePath;
}

bool VsftpdTestServer::writeFile(const QString &remotePath, const QByteArray &bytes) const
{
    const QString path = localPath(remotePath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    file.close();
    return written && TestSystemUser::handOver(dir_.filePath(QStringLiteral("root")),
                                               TestSystemUser::Top::HandOver);
}

QByteArray VsftpdTestServer::readFile(const QString &remotePath) const
{
    return ReadAll(localPath(remotePath));
}

QByteArray VsftpdTestServer::log() const
{
    return ReadAll(dir_.filePath(QStringLiteral("vsftpd.log")));
}

// Lines such as: ... [pid 7] [user] FTP command: Client "127.0.0.1", "STOR index.html"
QStringList VsftpdTestServer::commands() const
{
    static const QRegularExpression command(
        QStringLiteral("FTP command: Client \"[^\"]*\", \"(.*)\"$"));
    QStringList commands;
    for (const QByteArray &line : log().split('\n'))
        if (const auto match = command.match(QString::fromUtf8(line)); match.hasMatch())
            commands.append(match.captured(1));
    return commands;
}

int VsftpdTestServer::connections() const
{
    return int(log().count("CONNECT: Client"));
}

#pragma once

#include "publish/FtpClient.h"
#include "site/WholeFile.h"

#include <QtGlobal>

#include <chrono>
#include <memory>

namespace vellumet
{

// The publish run's connection over libcurl, by FTP, FTPS or SFTP: one control connection
// and one login for the whole run, binary passive transfers, and no command the run does
// not need, since every command costs a round trip on a slow link.
class CurlFtpClient final : public FtpClient
{
public:
    // trustFolder holds the trust file that pins the keys of servers no known authority
    // vouches for: the program folder, beside vellumet.ini.
    explicit CurlFtpClient(QString trustFolder = {});
    ~CurlFtpClient() override;
    Q_DISABLE_COPY_MOVE(CurlFtpClient)

    // How long and how much a server may take before its step fails: no server, however
    // slow or endless, can hold a run or fill the disk. Tests shorten them.
    struct Bounds {
        std::chrono::seconds connect{30}; // to reach the server and log in
        std::chrono::seconds reply{30};   // for the reply to any one command
        long slowBytesPerSecond = 1024;   // a transfer slower than this...
        std::chrono::seconds slowFor{30}; // ...for this long fails
        std::chrono::seconds step{600};   // a whole step, however it trickles
        qint64 maxFetchBytes = MaxFileBytes;
    };
    void setBounds(const Bounds &bounds);
    // For tests: TLS certificates are checked against this throwaway authority instead of
    // the system's ones.
    void setCertificateAuthorities(const QString &pemFile);

    Result<> connect(const QString &server, const QString &login, const QString &password) override;
    QString currentDirectory() override;
    Result<> changeDir(const QString &path) override;
    Result<> getFile(const QString &remoteName, const QString &localFolder) override;
    Result<> putFile(const QString &localPath, const QString &remoteName) override;
    void disconnect() override;
    void setCancelFlag(const std::atomic_bool *flag) override;
    QString takeNotice() override;
    bool isLost() const override;
    bool loginRefused() const override;
    void shareSessionsWith(FtpClient &other) const override;
    void watchLogin(std::function<bool(LoginStep)> watch) override;
    bool adoptDirectory(const QString &reported) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vellumet

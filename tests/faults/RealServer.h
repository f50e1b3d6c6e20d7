#pragma once

#include "FaultRun.h"
#include "FtpTestServer.h"
#include "PureFtpdTestServer.h"

// One of the two real servers the fault tests run against, named by a test row:
// "pyftpdlib" or "pure-ftpd".
class RealServer final
{
public:
    explicit RealServer(const QString &kind) : pure_(kind == QStringLiteral("pure-ftpd")) {}
    Q_DISABLE_COPY_MOVE(RealServer)

    // Why this server cannot run here; empty when it can.
    QString unavailableReason() const
    {
        return pure_ ? PureFtpdTestServer::unavailableReason() : QString();
    }
    bool start(const FtpTestServer::Options &pyftpdlibOptions = {},
               const QStringList &pureFtpdOptions = {})
    {
        return pure_ ? pureFtpd_.start(pureFtpdOptions) : pyftpdlib_.start(pyftpdlibOptions);
    }
    QString errorString() const
    {
        return pure_ ? pureFtpd_.errorString() : pyftpdlib_.errorString();
    }
    quint16 port() const { return pure_ ? pureFtpd_.port() : pyftpdlib_.port(); }
    QString address() const { return QStringLiteral("127.0.0.1:") + QString::number(port()); }
    QString user() const { return pure_ ? PureFtpdTestServer::user() : FtpTestServer::user(); }
    QString password() const
    {
        return pure_ ? PureFtpdTestServer::password() : FtpTestServer::password();
    }
    QString localPath(const QString &remotePath) const
    {
        return pure_ ? pureFtpd_.localPath(remotePath) : pyftpdlib_.localPath(remotePath);
    }
    bool writeFile(const QString &remotePath, const QByteArray &bytes) const
    {
        return pure_ ? pureFtpd_.writeFile(remotePath, bytes)
                     : pyftpdlib_.writeFile(remotePath, bytes);
    }
    QByteArray readFile(const QString &remotePath) const
    {
        return pure_ ? pureFtpd_.readFile(remotePath) : pyftpdlib_.readFile(remotePath);
    }

private:
    bool pure_;
    FtpTestServer pyftpdlib_;
    PureFtpdTestServer pureFtpd_;
};

// Puts the bakery site's pages (FaultRun.h) into folder on the server, as published before.
inline bool WriteBakery(const RealServer &server, const QString &folder = {})
{
    return server.writeFile(folder + QStringLiteral("/index.html"), Bakery::IndexTemplate) &&
           server.writeFile(folder + QStringLiteral("/live.html"), Bakery::OldLivePage) &&
           server.writeFile(folder + QStringLiteral("/about.html"), Bakery::AboutTemplate);
}

#pragma once

#include "publish/ServerAddress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <mutex>

namespace vellumet
{

class SecureOptions;

// What the connections of one run learn in common: the TLS sessions, so that each extra
// connection resumes the first one's session instead of a full handshake, and resolved
// host names. The connections run on threads of their own.
class SharedSessions final
{
public:
    SharedSessions();
    ~SharedSessions();
    Q_DISABLE_COPY_MOVE(SharedSessions)

    // Joins a handle (a CURL *) for as long as it lives; the handle must go before this.
    void attach(void *curl) const;

    using Locks = std::array<std::mutex, 8>; // one per kind of data libcurl locks

private:
    void *share_ = nullptr;
    Locks locks_;
};

// What the transport named in SERVER adds to each libcurl step: the scheme, TLS that is
// required and verified for FTPS, the SSH login for SFTP, and the check that the server is
// the real one before any login goes out (its certificate against the system's
// authorities or the key pinned in the trust file, its SSH host key against its pin).
class CurlTransport final
{
public:
    CurlTransport() = default;
    Q_DISABLE_COPY_MOVE(CurlTransport)

    // Takes the pins for address from the trust file in trustFolder; fails when that file
    // cannot be used.
    Result<> prepare(const ServerAddress &address, const QString &trustFolder);

    // For tests: a throwaway authority instead of the system's ones.
    void setCertificateAuthorities(const QString &pemFile) { authorities_ = pemFile; }

    bool isSftp() const { return address_.transport == ServerAddress::Transport::Sftp; }
    // The URL of an absolute remote path, or of one relative to the login directory.
    QByteArray url(const QString &remotePath) const;
    // Sets the transport's options on a handle (a CURL *) that curl_easy_reset cleared;
    // fails when libcurl refuses one that the connection's security rests on.
    Result<> apply(void *curl);
    // The transport's own words for a failed step (a CURLcode, libcurl's error text and
    // the server's replies), above all when the server was not trusted; empty when the
    // general ones fit.
    QString explain(int code, const QByteArray &errorText, const QByteArray &replies) const;

private:
    static int onHostKey(void *self, int keyType, const char *key, std::size_t length);
    static int onSslContext(void *curl, void *sslContext, void *self);
    void applyTls(SecureOptions &set);

    ServerAddress address_;
    QStringList tlsPins_;
    QStringList sshPins_;
    QString authorities_;
    // What the server showed in the last handshake, so that a refusal can name it.
    QString serverTlsPin_;
    QString serverSshKey_;
};

} // namespace vellumet

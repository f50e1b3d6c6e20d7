#include "publish/CurlTransport.h"

#include "publish/CertificateAuthorities.h"
#include "publish/FtpReplies.h"
#include "publish/RemotePath.h"
#include "publish/TrustFile.h"
#include "publish/TrustRefusals.h"

#include <QUrl>

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <tuple>

namespace vellumet
{

namespace
{

using Transport = ServerAddress::Transport;

// SSL_CTX_FUNCTION hands over an OpenSSL context only when libcurl was built on OpenSSL.
bool libcurlUsesOpenSsl()
{
    const curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
    return info && info->ssl_version && QByteArrayView(info->ssl_version).startsWith("OpenSSL/");
}

int contextIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QByteArray publicKeyInfo(X509 *certificate)
{
    const X509_PUBKEY *key = X509_get_X509_PUBKEY(certificate);
    const int length = key ? i2d_X509_PUBKEY(key, nullptr) : 0;
    if (length <= 0)
        return {};
    QByteArray der(length, '\0');
    auto *out = reinterpret_cast<unsigned char *>(der.data());
    return i2d_X509_PUBKEY(key, &out) == length ? der : QByteArray();
}

// Learns the server's key while OpenSSL checks its chain, whatever the outcome, so that a
// refusal can show the pin; the verdict stays OpenSSL's and libcurl's.
int noteServerKey(int verdict, X509_STORE_CTX *store)
{
    const auto *ssl = static_cast<const SSL *>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *pin =
        ssl ? static_cast<QString *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()))
            : nullptr;
    X509 *leaf = X509_STORE_CTX_get0_cert(store);
    if (pin && leaf) {
        const QByteArray key = publicKeyInfo(leaf);
        if (!key.isEmpty())
            *pin = tlsPinOf(key);
    }
    return verdict;
}

// libcurl's own bundle when this machine has it, else the distribution's.
QString systemAuthorities(CURL *curl)
{
    const char *builtIn = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CAINFO, &builtIn);
    QStringList candidates = usualAuthorityBundles();
    if (builtIn)
        candidates.prepend(QString::fromLocal8Bit(builtIn));
    return firstAuthorityBundle(candidates);
}

QByteArray scheme(Transport transport)
{
    switch (transport) {
    case Transport::FtpsImplicit:
        return "ftps";
    case Transport::Sftp:
        return "sftp";
    case Transport::Ftp:
    case Transport::FtpsExplicit:
        break;
    }
    return "ftp";
}

static_assert(CURL_LOCK_DATA_LAST <= std::tuple_size_v<SharedSessions::Locks>);

void lockShared(CURL *, curl_lock_data data, curl_lock_access, void *locks)
{
    (*static_cast<SharedSessions::Locks *>(locks))[data].lock();
}

void unlockShared(CURL *, curl_lock_data data, void *locks)
{
    (*static_cast<SharedSessions::Locks *>(locks))[data].unlock();
}

} // namespace

// Sets the options the connection's security rests on, and remembers the first that libcurl
// refused: a connection without one of them must not be made at all.
class SecureOptions
{
public:
    explicit SecureOptions(CURL *curl) : curl_(curl) {}

    template <typename T> void operator()(CURLoption option, T value)
    {
        const CURLcode code = curl_easy_setopt(curl_, option, value);
        if (code != CURLE_OK && result_)
            result_ = failure(QStringLiteral("Could not set up a secure connection (%1)")
                                  .arg(QString::fromUtf8(curl_easy_strerror(code))));
    }
    void refuse(const QString &reason)
    {
        if (result_)
            result_ = failure(reason);
    }
    CURL *handle() const { return curl_; }
    Result<> result() const { return result_; }

private:
    CURL *curl_;
    Result<> result_;
};

SharedSessions::SharedSessions() : share_(curl_share_init())
{
    if (!share_)
        return; // each connection then makes its own handshakes
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, lockShared);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, unlockShared);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, &locks_);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
}

SharedSessions::~SharedSessions()
{
    if (share_)
        curl_share_cleanup(share_);
}

void SharedSessions::attach(void *curl) const
{
    if (share_)
        curl_easy_setopt(static_cast<CURL *>(curl), CURLOPT_SHARE, share_);
}

Result<> CurlTransport::prepare(const ServerAddress &address, const QString &trustFolder)
{
    address_ = address;
    tlsPins_.clear();
    sshPins_.clear();
    serverTlsPin_.clear();
    serverSshKey_.clear();
    if (address.transport == Transport::Ftp)
        return {};
    const Result<TrustFile> trust = readTrustFile(trustFolder);
    if (!trust)
        return failure(trust.error());
    tlsPins_ = trust->tlsPins(address.host);
    sshPins_ = trust->sshFingerprints(address.host);
    return {};
}

QByteArray CurlTransport::url(const QString &remotePath) const
{
    const QByteArray host = address_.host.contains(u':') ? '[' + address_.host.toLatin1() + ']'
                                                         : QUrl::toAce(address_.host);
    const QByteArray base =
        scheme(address_.transport) + "://" + host + ':' + QByteArray::number(address_.port);
    return base + remoteUrlPath(remotePath, isSftp());
}

Result<> CurlTransport::apply(void *curl)
{
    SecureOptions set(static_cast<CURL *>(curl));
    switch (address_.transport) {
    case Transport::Ftp:
        set(CURLOPT_PROTOCOLS_STR, "ftp");
        break;
    case Transport::FtpsExplicit:
        set(CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        applyTls(set);
        break;
    case Transport::FtpsImplicit:
        set(CURLOPT_PROTOCOLS_STR, "ftps");
        applyTls(set);
        break;
    case Transport::Sftp:
        set(CURLOPT_PROTOCOLS_STR, "sftp");
        set(CURLOPT_SSH_AUTH_TYPES, long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        // Our own check rather than CURLOPT_SSH_HOST_PUBLIC_KEY_SHA256: a host may have
        // several pinned keys, and a refusal should name the key the server showed.
        set(CURLOPT_SSH_HOSTKEYFUNCTION, onHostKey);
        set(CURLOPT_SSH_HOSTKEYDATA, this);
        break;
    }
    return set.result();
}

void CurlTransport::applyTls(SecureOptions &set)
{
    CURL *curl = set.handle();
    // Encrypted or not at all: a server that declines TLS never sees the login.
    set(CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    // Servers that insist (vsftpd by default) refuse a data connection that does not resume
    // the control connection's TLS session. libcurl ends an upload's data connection
    // without a TLS close, and over TLS 1.3 such a server then forgets the session that
    // connection brought, which libcurl offers next: so TLS 1.2, where every data
    // connection resumes the control connection's own session.
    set(CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2) | long(CURL_SSLVERSION_MAX_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 1L);
    if (!tlsPins_.isEmpty()) {
        // The pinned key is a stronger check than any authority's signature, and it also
        // serves hosts whose certificate names the hosting company instead of the site.
        set(CURLOPT_PINNEDPUBLICKEY, tlsPins_.join(u';').toLatin1().constData());
        set(CURLOPT_SSL_VERIFYPEER, 0L);
        set(CURLOPT_SSL_VERIFYHOST, 0L);
    } else {
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        const QString authorities = authorities_.isEmpty() ? systemAuthorities(curl) : authorities_;
        if (authorities.isEmpty())
            set.refuse(noAuthoritiesRefusal(address_.host));
        else
            set(CURLOPT_CAINFO, authorities.toLocal8Bit().constData());
    }
    if (libcurlUsesOpenSsl()) {
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, this);
    }
}

int CurlTransport::onSslContext(void *, void *sslContext, void *self)
{
    auto *context = static_cast<SSL_CTX *>(sslContext);
    SSL_CTX_set_ex_data(context, contextIndex(),
                        &static_cast<CurlTransport *>(self)->serverTlsPin_);
    SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), noteServerKey);
    return CURLE_OK;
}

int CurlTransport::onHostKey(void *self, int, const char *key, std::size_t length)
{
    auto *transport = static_cast<CurlTransport *>(self);
    transport->serverSshKey_ = sshFingerprintOf(QByteArray(key, qsizetype(length)));
    return transport->sshPins_.contains(transport->serverSshKey_) ? CURLKHMATCH_OK
                                                                  : CURLKHMATCH_MISMATCH;
}

QString CurlTransport::explain(int code, const QByteArray &errorText,
                               const QByteArray &replies) const
{
    const QString &host = address_.host;
    switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
        if (!isSftp())
            return certificateRefusal(host, errorText, serverTlsPin_);
        if (serverSshKey_.isEmpty())
            return QStringLiteral("The SSH server %1 showed no host key that could be checked, "
                                  "so no login was sent")
                .arg(host);
        return sshPins_.isEmpty() ? unpinnedHostKeyRefusal(host, serverSshKey_)
                                  : changedKeyRefusal(host, serverSshKey_);
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return changedKeyRefusal(host, serverTlsPin_);
    case CURLE_USE_SSL_FAILED:
        // libcurl says the same when PROT P is refused, which comes after the login.
        if (const QList<int> codes = replyCodes(replies); codes.contains(230))
            return QStringLiteral("The server %1 took the login over the encrypted connection, "
                                  "then refused to encrypt file transfers (PROT P: %2), so no "
                                  "file was sent or fetched. Ask the host to allow encrypted "
                                  "transfers")
                .arg(host, replySentence(replies, codes.value(codes.size() - 1)));
        return QStringLiteral("The server %1 does not offer encryption (it refused AUTH TLS), "
                              "so no login was sent. Ask the host whether it offers FTPS; write "
                              "SERVER without ftpes:// only if an unencrypted connection will do")
            .arg(host);
    case CURLE_SSL_CONNECT_ERROR:
        if (address_.transport == Transport::FtpsImplicit)
            return QStringLiteral("Could not set up an encrypted connection with %1 (%2). Check "
                                  "that the server offers implicit TLS on port %3; for "
                                  "explicit TLS (AUTH TLS) write ftpes://")
                .arg(host, QString::fromUtf8(errorText))
                .arg(address_.port);
        return QStringLiteral("Could not set up an encrypted connection with %1 (%2)")
            .arg(host, QString::fromUtf8(errorText));
    case CURLE_LOGIN_DENIED:
        if (isSftp())
            return QStringLiteral("The server %1 refused the login name or password").arg(host);
        break;
    default:
        break;
    }
    return {};
}

} // namespace vellumet

#include "publish/CurlFtpClient.h"
#include "publish/CurlFtpClientImpl.h"
#include "publish/FtpReplies.h"
#include "publish/RemotePath.h"

#include <utility>

namespace vellumet
{

namespace
{

size_t discardData(char *, size_t size, size_t count, void *)
{
    return size * count;
}

} // namespace

bool CurlFtpClient::Impl::connect(const QString &server, const QString &user, const QString &secret)
{
    curl.reset();
    loggedIn = lost = refused = false;
    replacing = Replacing::Rename;
    currentDir.clear();
    const Result<ServerAddress> parsed = parseServerAddress(server);
    if (!parsed)
        return refuse(parsed.error());
    address = *parsed;
    if (const Result<> prepared = transport.prepare(address, trustFolder); !prepared)
        return refuse(prepared.error());
    login = user.toUtf8();
    password = secret.toUtf8();
    curl.reset(curl_easy_init());
    if (!curl)
        return refuse(QStringLiteral("Could not start the FTP connection"));
    sessions->attach(curl.get()); // curl_easy_reset leaves it attached
    // Logging in is the whole step: libcurl asks for the login directory with PWD
    // on its own, and NOBODY keeps it from transferring anything.
    if (!prepare(QString())) {
        curl.reset();
        return false;
    }
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    if (!greetBeforeLogin()) {
        curl.reset();
        return refuse(QStringLiteral("The login was not sent"));
    }
    if (!perform()) {
        refused = lastCode == CURLE_LOGIN_DENIED;
        curl.reset();
        return false;
    }
    char *entryPath = nullptr;
    curl_easy_getinfo(curl.get(), CURLINFO_FTP_ENTRY_PATH, &entryPath);
    currentDir = entryPath ? QString::fromUtf8(entryPath) : QString();
    if (!isUsableDirectory(currentDir)) {
        curl.reset();
        return false;
    }
    loggedIn = true;
    return true;
}

// FTP and explicit FTPS greet in plain text before the login: the greeting is watched
// for. The others are asked before they connect at all.
bool CurlFtpClient::Impl::greetBeforeLogin()
{
    greeted = accepted = false;
    if (!watch)
        return true;
    const auto transport = address.transport;
    if (transport != ServerAddress::Transport::Ftp &&
        transport != ServerAddress::Transport::FtpsExplicit)
        return watch(LoginStep::Greeted);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, watchGreeting);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, this);
    return true;
}

// Each reply line, whole; a multi-line reply ends with its code and a space.
size_t CurlFtpClient::Impl::watchGreeting(char *data, size_t size, size_t count, void *self)
{
    auto *d = static_cast<Impl *>(self);
    const QByteArrayView line(data, qsizetype(size * count));
    d->replies.append(line);
    if (!d->greeted && line.startsWith("220 ")) {
        d->greeted = true;
        if (!d->watch(LoginStep::Greeted))
            return 0; // libcurl ends the connection with no USER sent
    } else if (d->greeted && !d->accepted && line.startsWith("230 ")) {
        d->accepted = true;
        d->watch(LoginStep::Accepted);
    }
    return size * count;
}

// Every remote path is made from the directory the server names, and a carriage
// return in it would split the rename commands from the path the file was stored at.
bool CurlFtpClient::Impl::isUsableDirectory(const QString &reported)
{
    if (isCommandArgument(reported))
        return true;
    return refuse(QStringLiteral("The server %1 named its directory with a line break, "
                                 "which no command can carry: %2")
                      .arg(address.host, reported));
}

bool CurlFtpClient::Impl::changeDir(const QString &path)
{
    if (!usable())
        return false;
    if (path.isEmpty() || !isCommandArgument(path))
        return refuse(QStringLiteral("Not a valid directory name: %1").arg(path));
    if (transport.isSftp())
        return changeSftpDir(path);
    if (!prepare(QString()))
        return false;
    // "*" lets a refused CWD pass: libcurl would otherwise drop the connection and
    // log in again for the next step.
    CommandList commands(
        curl_slist_append(nullptr, QByteArray("*CWD " + path.toUtf8()).constData()));
    curl_slist_append(commands.get(), "PWD");
    curl_easy_setopt(curl.get(), CURLOPT_QUOTE, commands.get());
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    if (!perform())
        return false;
    const QList<int> codes = replyCodes(replies);
    const int reply = codes.value(codes.size() - 2); // CWD's, just before PWD's
    if (reply < 200 || reply >= 300)
        return refuse(replySentence(replies, reply));
    const QString reported = directoryFromReplies(replies);
    if (!isUsableDirectory(reported))
        return false;
    currentDir = reported.isEmpty() ? path : reported;
    return true;
}

// An SFTP server keeps no current directory: the client keeps its own, and asks only
// whether the directory is there by opening it for a listing of names.
bool CurlFtpClient::Impl::changeSftpDir(const QString &path)
{
    const QString target = resolveRemotePath(currentDir, path);
    if (!prepare(target.endsWith(u'/') ? target : target + u'/'))
        return false;
    curl_easy_setopt(curl.get(), CURLOPT_DIRLISTONLY, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, discardData);
    if (!perform())
        return false;
    currentDir = target;
    return true;
}

CurlFtpClient::CurlFtpClient(QString trustFolder) : d(std::make_unique<Impl>())
{
    d->trustFolder = std::move(trustFolder);
}

CurlFtpClient::~CurlFtpClient() = default;

void CurlFtpClient::setCertificateAuthorities(const QString &pemFile)
{
    d->transport.setCertificateAuthorities(pemFile);
}

void CurlFtpClient::setBounds(const Bounds &bounds)
{
    d->bounds = bounds;
}

Result<> CurlFtpClient::connect(const QString &server, const QString &login,
                                const QString &password)
{
    return d->outcome(d->connect(server, login, password));
}

QString CurlFtpClient::currentDirectory()
{
    return d->currentDir;
}

Result<> CurlFtpClient::changeDir(const QString &path)
{
    return d->outcome(d->changeDir(path));
}

Result<> CurlFtpClient::getFile(const QString &remoteName, const QString &localFolder)
{
    return d->outcome(d->getFile(remoteName, localFolder));
}

Result<> CurlFtpClient::putFile(const QString &localPath, const QString &remoteName)
{
    return d->outcome(d->putFile(localPath, remoteName));
}

void CurlFtpClient::setCancelFlag(const std::atomic_bool *flag)
{
    d->cancelled = flag;
}

QString CurlFtpClient::takeNotice()
{
    return std::exchange(d->notice, QString());
}

bool CurlFtpClient::isLost() const
{
    return d->lost;
}

bool CurlFtpClient::loginRefused() const
{
    return d->refused;
}

void CurlFtpClient::watchLogin(std::function<bool(LoginStep)> watch)
{
    d->watch = std::move(watch);
}

bool CurlFtpClient::adoptDirectory(const QString &reported)
{
    // A relative name would leave the paths to the server's own current directory.
    if (!d->usable() || !reported.startsWith(u'/') || !isCommandArgument(reported))
        return false;
    d->currentDir = reported;
    return true;
}

void CurlFtpClient::shareSessionsWith(FtpClient &other) const
{
    // A client already connected keeps its own: its handle is attached to them.
    if (auto *client = dynamic_cast<CurlFtpClient *>(&other); client && !client->d->curl)
        client->d->sessions = d->sessions;
}

void CurlFtpClient::disconnect()
{
    // Cleaning up the handle sends QUIT, bounded by the stall time-out still set on it.
    d->curl.reset();
    d->multi.reset(); // its cache held the connection
    d->loggedIn = d->lost = false;
    d->currentDir.clear();
}

} // namespace vellumet

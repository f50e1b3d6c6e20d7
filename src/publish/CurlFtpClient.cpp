#include "publish/CurlFtpClient.h"

#include "publish/CurlTransport.h"
#include "publish/FtpReplies.h"
#include "publish/ServerAddress.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <curl/curl.h>

namespace
{

struct EasyDeleter {
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using CommandList = std::unique_ptr<curl_slist, ListDeleter>;

size_t CollectReply(char *data, size_t size, size_t count, void *replies)
{
    static_cast<QByteArray *>(replies)->append(data, qsizetype(size * count));
    return size * count;
}

size_t WriteToFile(char *data, size_t size, size_t count, void *file)
{
    return size_t(static_cast<QSaveFile *>(file)->write(data, qint64(size * count)));
}

size_t Discard(char *, size_t size, size_t count, void *)
{
    return size * count;
}

size_t ReadFromFile(char *buffer, size_t size, size_t count, void *file)
{
    const qint64 read = static_cast<QFile *>(file)->read(buffer, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

// Failures after which the control connection cannot be trusted any more.
bool IsConnectionFailure(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
        return true;
    default:
        return false;
    }
}

QString LowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

// A file of the current directory, and nothing that could break out of a command.
bool IsRemoteFileName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && IsCommandArgument(name);
}

} // namespace

struct CurlFtpClient::Impl {
    EasyHandle curl;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    QByteArray replies;
    ServerAddress address;
    CurlTransport transport;
    QString trustFolder;
    QByteArray login;
    QByteArray password;
    QString currentDir;
    QString lastError;
    bool loggedIn = false;
    bool lost = false;
    std::chrono::seconds connectTimeout{30};
    std::chrono::seconds stallTimeout{30};

    // Every step starts from a clean handle, so nothing of the step before (an upload
    // flag, a quote list, a callback) leaks into it; the connection itself stays open.
    void prepare(const QString &remotePath)
    {
        CURL *c = curl.get();
        curl_easy_reset(c);
        errorBuffer[0] = '\0';
        lastError.clear();
        replies.clear();
        curl_easy_setopt(c, CURLOPT_URL, transport.url(remotePath).constData());
        transport.apply(c);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_USERNAME, login.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        // Full paths, so the only CWD the server sees is the run's own.
        curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
        // Otherwise every RETR is preceded by a SIZE that nothing needs.
        curl_easy_setopt(c, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(connectTimeout.count()));
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(stallTimeout.count()));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(stallTimeout.count()));
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, CollectReply);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &replies);
    }

    // Succeeds, or records why not.
    bool perform()
    {
        const CURLcode code = curl_easy_perform(curl.get());
        if (code == CURLE_OK)
            return true;
        lastError = describe(code);
        lost = lost || IsConnectionFailure(code);
        return false;
    }

    QString describe(CURLcode code) const
    {
        long reply = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply);
        long osError = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_OS_ERRNO, &osError);
        if (QString own = transport.explain(code, errorBuffer); !own.isEmpty())
            return own;
        switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("Could not find the server %1 (unknown host name)")
                .arg(address.host);
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("Could not reach %1 (%2)")
                .arg(address.host, osError ? LowerFirst(qt_error_string(int(osError)))
                                           : QStringLiteral("no connection"));
        case CURLE_OPERATION_TIMEDOUT:
            return (loggedIn ? QStringLiteral("The server %1 stopped answering")
                             : QStringLiteral("The server %1 does not answer"))
                .arg(address.host);
        default:
            break;
        }
        if (reply >= 400 && !IsConnectionFailure(code))
            return ReplySentence(replies, int(reply));
        return QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    }

    // Refuses a step without an open connection: nothing more goes to a server that
    // stopped answering, and no silent second login can put a file somewhere else.
    bool usable()
    {
        if (!curl)
            lastError = QStringLiteral("Not connected to a server");
        else if (lost)
            lastError = QStringLiteral("The connection to %1 was lost").arg(address.host);
        return curl && !lost;
    }

    bool refuse(const QString &reason)
    {
        lastError = reason;
        return false;
    }

    QString remotePathOf(const QString &name) const
    {
        if (!currentDir.startsWith(u'/'))
            return name;
        return currentDir + (currentDir.endsWith(u'/') ? QString() : QStringLiteral("/")) + name;
    }

    bool connect(const QString &server, const QString &user, const QString &secret)
    {
        curl.reset();
        loggedIn = lost = false;
        currentDir.clear();
        address = ParseServerAddress(server);
        if (!address.isValid())
            return refuse(address.error);
        if (!transport.prepare(address, trustFolder))
            return refuse(transport.error());
        login = user.toUtf8();
        password = secret.toUtf8();
        curl.reset(curl_easy_init());
        if (!curl)
            return refuse(QStringLiteral("Could not start the FTP connection"));
        // Logging in is the whole step: libcurl asks for the login directory with PWD
        // on its own, and NOBODY keeps it from transferring anything.
        prepare(QString());
        curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
        if (!perform()) {
            curl.reset();
            return false;
        }
        char *entryPath = nullptr;
        curl_easy_getinfo(curl.get(), CURLINFO_FTP_ENTRY_PATH, &entryPath);
        currentDir = entryPath ? QString::fromUtf8(entryPath) : QString();
        loggedIn = true;
        return true;
    }

    bool changeDir(const QString &path)
    {
        if (!usable())
            return false;
        if (path.isEmpty() || !IsCommandArgument(path))
            return refuse(QStringLiteral("Not a valid directory name: %1").arg(path));
        if (transport.isSftp())
            return changeSftpDir(path);
        prepare(QString());
        // "*" lets a refused CWD pass: libcurl would otherwise drop the connection and
        // log in again for the next step.
        CommandList commands(
            curl_slist_append(nullptr, QByteArray("*CWD " + path.toUtf8()).constData()));
        curl_slist_append(commands.get(), "PWD");
        curl_easy_setopt(curl.get(), CURLOPT_QUOTE, commands.get());
        curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
        if (!perform())
            return false;
        const QList<int> codes = ReplyCodes(replies);
        const int reply = codes.value(codes.size() - 2); // CWD's, just before PWD's
        if (reply < 200 || reply >= 300)
            return refuse(ReplySentence(replies, reply));
        const QString reported = DirectoryFromReplies(replies);
        currentDir = reported.isEmpty() ? path : reported;
        return true;
    }

    // An SFTP server keeps no current directory: the client keeps its own, and asks only
    // whether the directory is there by opening it for a listing of names.
    bool changeSftpDir(const QString &path)
    {
        const QString target = ResolveRemotePath(currentDir, path);
        prepare(target.endsWith(u'/') ? target : target + u'/');
        curl_easy_setopt(curl.get(), CURLOPT_DIRLISTONLY, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Discard);
        if (!perform())
            return false;
        currentDir = target;
        return true;
    }

    bool getFile(const QString &remoteName, const QString &localFolder)
    {
        if (!usable())
            return false;
        if (!IsRemoteFileName(remoteName))
            return refuse(QStringLiteral("Not a valid file name: %1").arg(remoteName));
        // Written beside the old file and renamed over it only when complete.
        QSaveFile file(localFolder + u'/' + remoteName);
        if (!file.open(QIODevice::WriteOnly))
            return refuse(
                QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), file.errorString()));
        prepare(remotePathOf(remoteName));
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &file);
        if (!perform()) {
            if (file.error() != QFileDevice::NoError)
                lastError = QStringLiteral("Could not write %1 (%2)")
                                .arg(file.fileName(), file.errorString());
            return false;
        }
        if (!file.commit())
            return refuse(
                QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), file.errorString()));
        return true;
    }

    bool putFile(const QString &localPath, const QString &remoteName)
    {
        if (!usable())
            return false;
        const QString name = remoteName.isEmpty() ? QFileInfo(localPath).fileName() : remoteName;
        if (!IsRemoteFileName(name))
            return refuse(QStringLiteral("Not a valid file name: %1").arg(name));
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(
                QStringLiteral("Could not read %1 (%2)").arg(localPath, file.errorString()));
        prepare(remotePathOf(name));
        curl_easy_setopt(curl.get(), CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_READFUNCTION, ReadFromFile);
        curl_easy_setopt(curl.get(), CURLOPT_READDATA, &file);
        curl_easy_setopt(curl.get(), CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
        if (!perform()) {
            if (file.error() != QFileDevice::NoError)
                lastError =
                    QStringLiteral("Could not read %1 (%2)").arg(localPath, file.errorString());
            return false;
        }
        return true;
    }
};

CurlFtpClient::CurlFtpClient(QString trustFolder) : d(std::make_unique<Impl>())
{
    d->trustFolder = std::move(trustFolder);
}

CurlFtpClient::~CurlFtpClient() = default;

void CurlFtpClient::setCertificateAuthorities(const QString &pemFile)
{
    d->transport.setCertificateAuthorities(pemFile);
}

void CurlFtpClient::setTimeouts(std::chrono::seconds connect, std::chrono::seconds stall)
{
    d->connectTimeout = connect;
    d->stallTimeout = stall;
}

int CurlFtpClient::Connect(const QString &server, const QString &login, const QString &password)
{
    return d->connect(server, login, password) ? 1 : 0;
}

QString CurlFtpClient::LastError() const
{
    return d->lastError;
}

QString CurlFtpClient::CurrentDirectory()
{
    return d->currentDir;
}

int CurlFtpClient::ChangeDir(const QString &path)
{
    return d->changeDir(path) ? 1 : 0;
}

int CurlFtpClient::GetFile(const QString &remoteName, const QString &localFolder)
{
    return d->getFile(remoteName, localFolder) ? 1 : 0;
}

int CurlFtpClient::PutFile(const QString &localPath, const QString &remoteName)
{
    return d->putFile(localPath, remoteName) ? 1 : 0;
}

void CurlFtpClient::Disconnect()
{
    // Cleaning up the handle sends QUIT, bounded by the stall time-out still set on it.
    d->curl.reset();
    d->loggedIn = d->lost = false;
    d->currentDir.clear();
}

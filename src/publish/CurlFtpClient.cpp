#include "publish/CurlFtpClient.h"

#include "publish/CurlTransport.h"
#include "publish/FtpReplies.h"
#include "publish/RemotePath.h"
#include "publish/ServerAddress.h"
#include "site/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <curl/curl.h>

#include <new>
#include <utility>

namespace vellumet
{

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

size_t collectReply(char *data, size_t size, size_t count, void *replies)
{
    static_cast<QByteArray *>(replies)->append(data, qsizetype(size * count));
    return size * count;
}

// A fetch written to its file, up to a cap: a server that streams without end must not
// fill the disk.
struct Download {
    QSaveFile &file;
    qint64 cap;
    qint64 received = 0;
    bool tooLarge = false;
};

size_t writeToFile(char *data, size_t size, size_t count, void *download)
{
    auto *to = static_cast<Download *>(download);
    to->received += qint64(size * count);
    to->tooLarge = to->received > to->cap;
    if (to->tooLarge)
        return 0; // libcurl aborts the transfer
    return size_t(to->file.write(data, qint64(size * count)));
}

QString sizeText(qint64 bytes)
{
    return bytes % (qint64(1) << 20) == 0 ? QStringLiteral("%1 MiB").arg(bytes >> 20)
                                          : QStringLiteral("%1 bytes").arg(bytes);
}

// A name of its own for this client's temporary uploads, so that two runs against one
// server, from two programs or two machines, never write into each other's file.
QString uploadPrefix()
{
    quint32 random[2];
    QRandomGenerator::system()->fillRange(random);
    return QStringLiteral(".vellumet-upload-%1%2-")
        .arg(random[0], 8, 16, QChar(u'0'))
        .arg(random[1], 8, 16, QChar(u'0'));
}

size_t discardData(char *, size_t size, size_t count, void *)
{
    return size * count;
}

// Any value but 0 makes libcurl abort the transfer; it asks about once a second even
// while a server keeps silent.
int stopWhenCancelled(void *flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic_bool *>(flag)->load() ? 1 : 0;
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *file)
{
    const qint64 read = static_cast<QFile *>(file)->read(buffer, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

// Failures after which the control connection cannot be trusted any more.
bool isConnectionFailure(CURLcode code)
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

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

// An empty list is a null one, which libcurl takes for none.
CommandList commandList(const QList<QByteArray> &commands)
{
    CommandList list;
    for (const QByteArray &command : commands) {
        // A command quietly left out could report a rename that never happened.
        curl_slist *longer = curl_slist_append(list.get(), command.constData());
        if (!longer)
            throw std::bad_alloc();
        list.release();
        list.reset(longer);
    }
    return list;
}

// How the server lets a finished upload take the place of the old file, as learned on
// this connection.
enum class Replacing {
    Rename,           // renamed over the old file
    DeleteThenRename, // the server renames only to a free name
    Overwrite,        // the server cannot rename: stored straight under the real name
};

} // namespace

struct CurlFtpClient::Impl {
    struct MultiDeleter {
        void operator()(CURLM *multi) const { curl_multi_cleanup(multi); }
    };
    // Declared first, so that it goes last: every handle below may still be attached.
    std::shared_ptr<const SharedSessions> sessions = std::make_shared<SharedSessions>();
    // Before the handle, so that it goes after it: its cache holds the connection.
    std::unique_ptr<CURLM, MultiDeleter> multi;
    CURL *multiFor = nullptr; // the handle whose login multi's cache holds
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
    bool refused = false; // the last login, by the server
    CURLcode lastCode = CURLE_OK;
    Replacing replacing = Replacing::Rename;
    Bounds bounds;
    const QString temporaryPrefix = uploadPrefix();
    QString notice;
    const std::atomic_bool *cancelled = nullptr;
    std::function<bool(LoginStep)> watch;
    bool greeted = false;
    bool accepted = false;

    // Every step starts from a clean handle, so nothing of the step before (an upload
    // flag, a quote list, a callback) leaks into it; the connection itself stays open.
    // A step whose security cannot be set up fails, and nothing more goes out.
    bool prepare(const QString &remotePath)
    {
        CURL *c = curl.get();
        curl_easy_reset(c);
        errorBuffer[0] = '\0';
        lastError.clear();
        replies.clear();
        curl_easy_setopt(c, CURLOPT_URL, transport.url(remotePath).constData());
        if (const Result<> secured = transport.apply(c); !secured) {
            lost = true;
            return refuse(secured.error());
        }
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_USERNAME, login.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        // Full paths, so the only CWD the server sees is the run's own.
        curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
        // Otherwise every RETR is preceded by a SIZE that nothing needs.
        curl_easy_setopt(c, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(bounds.connect.count()));
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(bounds.reply.count()));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, bounds.slowBytesPerSecond);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(bounds.slowFor.count()));
        // A drip just fast enough for the low-speed limit must not hold the run for hours.
        curl_easy_setopt(c, CURLOPT_TIMEOUT, long(bounds.step.count()));
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, collectReply);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &replies);
        if (cancelled) {
            curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
            curl_easy_setopt(c, CURLOPT_XFERINFODATA, static_cast<const void *>(cancelled));
            curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        }
        return true;
    }

    // Succeeds, or records why not. The step goes through the multi interface, whose
    // connection cache keeps the login from step to step: libcurl's own loop for a single
    // transfer can sit a whole second in poll before it opens a data connection.
    bool perform()
    {
        CURL *c = curl.get();
        if (!multi || multiFor != c) {
            multi.reset(curl_multi_init());
            multiFor = c;
        }
        CURLcode code = CURLE_OUT_OF_MEMORY;
        bool cutShort = false; // left unfinished: its connection cannot be trusted
        if (multi && curl_multi_add_handle(multi.get(), c) == CURLM_OK) {
            int running = 1;
            while (running && !cutShort) {
                cutShort =
                    curl_multi_perform(multi.get(), &running) != CURLM_OK ||
                    (running && cancelled && cancelled->load()) ||
                    (running && curl_multi_poll(multi.get(), nullptr, 0, 20, nullptr) != CURLM_OK);
            }
            if (cutShort && cancelled && cancelled->load())
                code = CURLE_ABORTED_BY_CALLBACK;
            int left = 0;
            while (const CURLMsg *message = curl_multi_info_read(multi.get(), &left))
                if (message->msg == CURLMSG_DONE && message->easy_handle == c)
                    code = message->data.result;
        }
        lastCode = code;
        // Asked while the multi's cache still holds the connection. libcurl also drops the
        // connection after some failures of its own (a local file that cannot be written,
        // say) and would quietly log in again for the next step.
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(c, CURLINFO_ACTIVESOCKET, &socket);
        if (multi)
            curl_multi_remove_handle(multi.get(), c);
        if (code == CURLE_OK)
            return true;
        lastError = describe(code);
        lost = lost || cutShort || isConnectionFailure(code) || socket == CURL_SOCKET_BAD;
        return false;
    }

    QString describe(CURLcode code) const
    {
        long reply = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply);
        long osError = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_OS_ERRNO, &osError);
        if (QString own = transport.explain(code, errorBuffer, replies); !own.isEmpty())
            return own;
        switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("Could not find the server %1 (unknown host name)")
                .arg(address.host);
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("Could not reach %1 (%2)")
                .arg(address.host, osError ? lowerFirst(qt_error_string(int(osError)))
                                           : QStringLiteral("no connection"));
        case CURLE_ABORTED_BY_CALLBACK:
            return QStringLiteral("The transfer was stopped");
        case CURLE_OPERATION_TIMEDOUT:
            return (loggedIn ? QStringLiteral("The server %1 stopped answering")
                             : QStringLiteral("The server %1 does not answer"))
                .arg(address.host);
        default:
            break;
        }
        if (reply >= 400 && !isConnectionFailure(code))
            return replySentence(replies, int(reply));
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

    Result<> outcome(bool succeeded) const
    {
        if (succeeded)
            return {};
        return failure(lastError);
    }

    bool refuse(const QString &reason)
    {
        lastError = reason;
        return false;
    }

    QString remotePathOf(const QString &name) const { return remoteFilePath(currentDir, name); }

    bool connect(const QString &server, const QString &user, const QString &secret)
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
    bool greetBeforeLogin()
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
    static size_t watchGreeting(char *data, size_t size, size_t count, void *self)
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
    bool isUsableDirectory(const QString &reported)
    {
        if (isCommandArgument(reported))
            return true;
        return refuse(QStringLiteral("The server %1 named its directory with a line break, "
                                     "which no command can carry: %2")
                          .arg(address.host, reported));
    }

    bool changeDir(const QString &path)
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
    bool changeSftpDir(const QString &path)
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

    bool getFile(const QString &remoteName, const QString &localFolder)
    {
        if (!usable())
            return false;
        if (!isRemoteFileName(remoteName))
            return refuse(QStringLiteral("Not a valid file name: %1").arg(remoteName));
        const QString localPath = localFolder + u'/' + remoteName;
        if (const Result<> writable = checkWritable(localPath); !writable)
            return refuse(
                QStringLiteral("Could not write %1 (%2)").arg(localPath, writable.error()));
        // Written beside the old file and renamed over it only when complete.
        QSaveFile file(localPath);
        if (!file.open(QIODevice::WriteOnly))
            return refuse(
                QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), file.errorString()));
        if (!prepare(remotePathOf(remoteName)))
            return false;
        Download download{file, bounds.maxFetchBytes};
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, writeToFile);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &download);
        // For servers that announce the size: refused before a byte comes.
        curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, curl_off_t(bounds.maxFetchBytes));
        if (!perform()) {
            if (download.tooLarge || lastCode == CURLE_FILESIZE_EXCEEDED)
                lastError = QStringLiteral("The file %1 on the server is larger than %2")
                                .arg(remoteName, sizeText(bounds.maxFetchBytes));
            else if (file.error() != QFileDevice::NoError)
                lastError = QStringLiteral("Could not write %1 (%2)")
                                .arg(file.fileName(), file.errorString());
            file.cancelWriting(); // the file in the folder stays as it was
            return false;
        }
        // A page cut short by a full disk must not pass for the whole page.
        if (const Result<> committed = commitWhole(file); !committed)
            return refuse(
                QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), committed.error()));
        return true;
    }

    bool putFile(const QString &localPath, const QString &remoteName)
    {
        if (!usable())
            return false;
        const QString name = remoteName.isEmpty() ? QFileInfo(localPath).fileName() : remoteName;
        if (!isRemoteFileName(name))
            return refuse(QStringLiteral("Not a valid file name: %1").arg(name));
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(
                QStringLiteral("Could not read %1 (%2)").arg(localPath, file.errorString()));
        const QString target = remotePathOf(name);
        if (replacing == Replacing::Overwrite)
            return store(file, target, {});
        // The whole file goes to a temporary name beside the page and is renamed over it
        // only once the server has all of it, so a connection that breaks off mid-way
        // leaves the old page up, never part of the new one. The rename goes out behind
        // the transfer, which libcurl sends only after a complete one.
        const QString temporary = remotePathOf(temporaryPrefix + name);
        QList<QByteArray> replace = renameCommands(temporary, target);
        if (replacing == Replacing::DeleteThenRename)
            replace.prepend(deleteCommand(target));
        if (store(file, temporary, replace))
            return true;
        return recoverUpload(file, temporary, target);
    }

    // Sends the whole file to remotePath, then the commands.
    bool store(QFile &file, const QString &remotePath, const QList<QByteArray> &after)
    {
        if (!file.seek(0))
            return refuse(
                QStringLiteral("Could not read %1 (%2)").arg(file.fileName(), file.errorString()));
        if (!prepare(remotePath))
            return false;
        curl_easy_setopt(curl.get(), CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_READFUNCTION, readFromFile);
        curl_easy_setopt(curl.get(), CURLOPT_READDATA, &file);
        curl_easy_setopt(curl.get(), CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
        const CommandList commands = commandList(after);
        curl_easy_setopt(curl.get(), CURLOPT_POSTQUOTE, commands.get());
        if (perform())
            return true;
        if (file.error() != QFileDevice::NoError)
            lastError =
                QStringLiteral("Could not read %1 (%2)").arg(file.fileName(), file.errorString());
        return false;
    }

    // Until the rename the page under its real name is as it was; how to go on depends on
    // how far the upload got.
    bool recoverUpload(QFile &file, const QString &temporary, const QString &target)
    {
        long reply = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply);
        if (lastCode != CURLE_QUOTE_ERROR) {
            // A server that will not make the temporary file (no dot files, say) may still
            // let the page itself be written over.
            if (lastCode == CURLE_UPLOAD_FAILED && (reply == 550 || reply == 553))
                return store(file, target, {});
            discard(temporary);
            return false;
        }
        // The whole file is on the server under the temporary name, and the rename was
        // refused. An accepted RNFR means it was the target's existence that RNTO minded.
        const QList<int> codes = replyCodes(replies);
        if (!sftp() && !codes.contains(350) && isUnknownCommand(codes.value(codes.size() - 1)))
            return storeWithoutRenaming(file, temporary, target);
        if ((sftp() || codes.contains(350)) && replacing == Replacing::Rename) {
            // So delete the old page first: the site is without it for two round trips,
            // and never shows part of the new one under its name.
            QList<QByteArray> commands = renameCommands(temporary, target);
            commands.prepend(deleteCommand(target));
            if (run(commands)) {
                replacing = Replacing::DeleteThenRename;
                return true;
            }
        }
        if (lost)
            return false;
        // Storing straight over the page now could show a reader half of it, and another
        // run may be renaming at this moment: the page fails, and the live one stays whole.
        const QString reason = lastError;
        discard(temporary);
        lastError = QStringLiteral("The server refused to put the new %1 in place of the old "
                                   "one: %2")
                        .arg(QFileInfo(target).fileName(), reason);
        return false;
    }

    // A server without RNFR never renames, for anyone: the one way left is the old one,
    // straight over the page, for the rest of the run, and the user is told once.
    bool storeWithoutRenaming(QFile &file, const QString &temporary, const QString &target)
    {
        notice = QStringLiteral("The server %1 cannot rename files, so pages are stored straight "
                                "over the old ones (RNFR: %2)")
                     .arg(address.host, lastError);
        replacing = Replacing::Overwrite;
        discard(temporary);
        return store(file, target, {});
    }

    // commandList on their own, with no transfer; they stop at the first one refused.
    bool run(const QList<QByteArray> &commands)
    {
        if (!prepare(QString()))
            return false;
        curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
        // After the (empty) transfer, where a refused command leaves the connection open.
        const CommandList list = commandList(commands);
        curl_easy_setopt(curl.get(), CURLOPT_POSTQUOTE, list.get());
        return perform();
    }

    // Clears away an upload's temporary file if the connection still allows it, keeping
    // the report of what went wrong before.
    void discard(const QString &temporary)
    {
        const QString reason = lastError;
        if (usable())
            run({deleteCommand(temporary)});
        lastError = reason;
    }

    bool sftp() const { return address.transport == ServerAddress::Transport::Sftp; }

    // libcurl's SFTP commands take paths in quotes; FTP ones take the rest of the line.
    QByteArray commandPath(const QString &path) const
    {
        if (!sftp())
            return path.toUtf8();
        QByteArray quoted = path.toUtf8();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + quoted + '"';
    }

    QList<QByteArray> renameCommands(const QString &from, const QString &to) const
    {
        if (sftp())
            return {"rename " + commandPath(from) + ' ' + commandPath(to)};
        return {"RNFR " + commandPath(from), "RNTO " + commandPath(to)};
    }

    // "*": the file may well not be there, and that is no failure.
    QByteArray deleteCommand(const QString &path) const
    {
        return (sftp() ? QByteArray("*rm ") : QByteArray("*DELE ")) + commandPath(path);
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

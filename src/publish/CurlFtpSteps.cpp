#include "publish/CurlFtpClientImpl.h"
#include "publish/FtpReplies.h"

namespace vellumet
{

namespace
{

size_t collectReply(char *data, size_t size, size_t count, void *replies)
{
    static_cast<QByteArray *>(replies)->append(data, qsizetype(size * count));
    return size * count;
}

// Any value but 0 makes libcurl abort the transfer; it asks about once a second even
// while a server keeps silent.
int stopWhenCancelled(void *flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic_bool *>(flag)->load() ? 1 : 0;
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

} // namespace

// Every step starts from a clean handle, so nothing of the step before (an upload
// flag, a quote list, a callback) leaks into it; the connection itself stays open.
// A step whose security cannot be set up fails, and nothing more goes out.
bool CurlFtpClient::Impl::prepare(const QString &remotePath)
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
bool CurlFtpClient::Impl::perform()
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

QString CurlFtpClient::Impl::describe(CURLcode code) const
{
    long reply = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply);
    long osError = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_OS_ERRNO, &osError);
    if (QString own = transport.explain(code, errorBuffer, replies); !own.isEmpty())
        return own;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Could not find the server %1 (unknown host name)").arg(address.host);
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
bool CurlFtpClient::Impl::usable()
{
    if (!curl)
        lastError = QStringLiteral("Not connected to a server");
    else if (lost)
        lastError = QStringLiteral("The connection to %1 was lost").arg(address.host);
    return curl && !lost;
}

Result<> CurlFtpClient::Impl::outcome(bool succeeded) const
{
    if (succeeded)
        return {};
    return failure(lastError);
}

bool CurlFtpClient::Impl::refuse(const QString &reason)
{
    lastError = reason;
    return false;
}

} // namespace vellumet

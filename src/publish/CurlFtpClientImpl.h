#pragma once

// The client's inside, shared by its own sources only: libcurl's types stop here.

#include "publish/CurlFtpClient.h"
#include "publish/CurlTransport.h"
#include "publish/ServerAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <curl/curl.h>

#include <atomic>
#include <functional>
#include <memory>

class QFile;

namespace vellumet
{

struct CurlFtpClient::Impl {
    struct EasyDeleter {
        void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
    };
    struct ListDeleter {
        void operator()(curl_slist *list) const { curl_slist_free_all(list); }
    };
    struct MultiDeleter {
        void operator()(CURLM *multi) const { curl_multi_cleanup(multi); }
    };
    using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
    using CommandList = std::unique_ptr<curl_slist, ListDeleter>;

    // How the server lets a finished upload take the place of the old file, as learned on
    // this connection.
    enum class Replacing {
        Rename,           // renamed over the old file
        DeleteThenRename, // the server renames only to a free name
        Overwrite,        // the server cannot rename: stored straight under the real name
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

    // One step on the handle (CurlFtpSteps.cpp).
    bool prepare(const QString &remotePath);
    bool perform();
    QString describe(CURLcode code) const;
    bool usable();
    Result<> outcome(bool succeeded) const;
    bool refuse(const QString &reason);

    // The login and the directories (CurlFtpClient.cpp).
    bool connect(const QString &server, const QString &user, const QString &secret);
    bool greetBeforeLogin();
    static size_t watchGreeting(char *data, size_t size, size_t count, void *self);
    bool isUsableDirectory(const QString &reported);
    bool changeDir(const QString &path);
    bool changeSftpDir(const QString &path);

    // The transfers, through a temporary name and a rename (CurlFtpTransfers.cpp).
    bool getFile(const QString &remoteName, const QString &localFolder);
    bool putFile(const QString &localPath, const QString &remoteName);
    bool store(QFile &file, const QString &remotePath, const QList<QByteArray> &after);
    bool recoverUpload(QFile &file, const QString &temporary, const QString &target);
    bool storeWithoutRenaming(QFile &file, const QString &temporary, const QString &target);
    bool run(const QList<QByteArray> &commands);
    void discard(const QString &temporary);
    QString remotePathOf(const QString &name) const;
    bool sftp() const;
    QByteArray commandPath(const QString &path) const;
    QList<QByteArray> renameCommands(const QString &from, const QString &to) const;
    QByteArray deleteCommand(const QString &path) const;
    static CommandList commandList(const QList<QByteArray> &commands);
    static QString uploadPrefix();
};

} // namespace vellumet

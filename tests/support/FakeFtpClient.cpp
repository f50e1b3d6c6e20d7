#include "FakeFtpClient.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QThread>

#include <stdexcept>

using namespace vellumet;

void FakeFtpServer::setPage(const QByteArray &page)
{
    QMutexLocker lock(&mutex_);
    page_ = page;
}

Result<> FakeFtpServer::note(const QString &call)
{
    QMutexLocker lock(&mutex_);
    calls_.append(call);
    if (throwing.contains(call))
        throw std::runtime_error("fake failure");
    if (failing.contains(call))
        return failure(QStringLiteral("Login incorrect (530)"));
    return {};
}

PublishTask::ClientFactory FakeFtpServer::clients()
{
    return [this] { return std::make_unique<FakeFtpClient>(*this); };
}

Result<> FakeFtpClient::connect(const QString &server, const QString &login,
                                const QString &password)
{
    while (server_.held_ && !server_.gate_.tryAcquire(1, 10))
        if (cancelled_ && *cancelled_)
            return failure(QStringLiteral("The transfer was stopped"));
    current_ = server_.home;
    Result<> result = server_.note(QStringList{"Connect", server, login, password}.join(u' '));
    QMutexLocker lock(&server_.mutex_);
    if (result && server_.logins_ >= server_.loginLimit)
        return failure(QStringLiteral("Too many connections (421)"));
    server_.logins_ += result.ok();
    return result;
}

Result<> FakeFtpClient::note(const QString &call)
{
    QMutexLocker lock(&server_.mutex_);
    if (!server_.losing.contains(call)) {
        lock.unlock();
        return server_.note(call);
    }
    lost_ = true;
    return failure(QStringLiteral("The connection was lost"));
}

Result<> FakeFtpClient::changeDir(const QString &path)
{
    if (Result<> noted = note(QStringLiteral("ChangeDir ") + path); !noted)
        return noted;
    current_ = path.startsWith(u'/') ? path : current_ + u'/' + path;
    return {};
}

Result<> FakeFtpClient::getFile(const QString &remoteName, const QString &localFolder)
{
    QThread::msleep(server_.fetchMs);
    if (Result<> noted = note(QStringLiteral("GetFile ") + remoteName); !noted)
        return noted;
    QMutexLocker lock(&server_.mutex_);
    if (writeTestFile(localFolder + u'/' + remoteName,
                      server_.fetchedEmpty.contains(remoteName) ? QByteArray() : server_.page_))
        return {};
    return failure(QStringLiteral("Could not write ") + remoteName);
}

Result<> FakeFtpClient::putFile(const QString &localPath, const QString &remoteName)
{
    const QString name = QFileInfo(localPath).fileName();
    const QString as = remoteName.isEmpty() ? QString() : QStringLiteral(" as ") + remoteName;
    if (Result<> noted = note(QStringLiteral("PutFile ") + name + as); !noted)
        return noted;
    const QByteArray bytes = readTestFile(localPath);
    QMutexLocker lock(&server_.mutex_);
    server_.uploads_[remoteName.isEmpty() ? name : remoteName] = bytes;
    return {};
}

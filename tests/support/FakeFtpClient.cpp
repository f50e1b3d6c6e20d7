#include "FakeFtpClient.h"

#include "TestFiles.h"

#include <QFileInfo>

#include <stdexcept>

void FakeFtpServer::setPage(const QByteArray &page)
{
    QMutexLocker lock(&mutex_);
    page_ = page;
}

int FakeFtpServer::note(const QString &call)
{
    QMutexLocker lock(&mutex_);
    calls_.append(call);
    if (throwing.contains(call))
        throw std::runtime_error("fake failure");
    return failing.contains(call) ? 0 : 1;
}

PublishTask::ClientFactory FakeFtpServer::clients()
{
    return [this] { return std::make_unique<FakeFtpClient>(*this); };
}

int FakeFtpClient::Connect(const QString &server, const QString &login, const QString &password)
{
    if (server_.held_)
        server_.gate_.acquire();
    current_ = server_.home;
    const int result = server_.note(QStringList{"Connect", server, login, password}.join(u' '));
    QMutexLocker lock(&server_.mutex_);
    server_.logins_ += result;
    return result;
}

int FakeFtpClient::ChangeDir(const QString &path)
{
    if (server_.note(QStringLiteral("ChangeDir ") + path) != 1)
        return 0;
    current_ = path.startsWith(u'/') ? path : current_ + u'/' + path;
    return 1;
}

int FakeFtpClient::GetFile(const QString &remoteName, const QString &localFolder)
{
    if (server_.note(QStringLiteral("GetFile ") + remoteName) != 1)
        return 0;
    QMutexLocker lock(&server_.mutex_);
    if (server_.fetchedEmpty.contains(remoteName))
        return 1;
    return writeTestFile(localFolder + u'/' + remoteName, server_.page_) ? 1 : 0;
}

int FakeFtpClient::PutFile(const QString &localPath, const QString &remoteName)
{
    const QString name = QFileInfo(localPath).fileName();
    const QString as = remoteName.isEmpty() ? QString() : QStringLiteral(" as ") + remoteName;
    if (server_.note(QStringLiteral("PutFile ") + name + as) != 1)
        return 0;
    const QByteArray bytes = readTestFile(localPath);
    QMutexLocker lock(&server_.mutex_);
    server_.uploads_[remoteName.isEmpty() ? name : remoteName] = bytes;
    return 1;
}

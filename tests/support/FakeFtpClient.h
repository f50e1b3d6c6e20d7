#pragma once

#include "TestFiles.h"
#include "publish/FtpClient.h"
#include "publish/PublishTask.h"

#include <QMap>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

#include <stdexcept>

// A scripted server: clients note calls ("GetFile a.html"), fail/throw/fetch empty; guarded.
class FakeFtpServer final
{
    template <typename T> T locked(const T &value) const
    {
        QMutexLocker lock(&mutex_);
        return value;
    }

public:
    QString home = u"/home/site"_s;
    QStringList failing, throwing, fetchedEmpty, losing; // losing: failing, the connection lost
    int loginLimit = 100, fetchMs = 0; // logins beyond it refused; each fetch's time, to overlap

    QByteArray page = "<p>@{Intro}@</p>\r\n"; // what every fetch gives; set before a run
    void holdLogins() { held_ = true; }       // logins wait until releaseLogins() or a cancel
    void releaseLogins() { gate_.release(100); }
    Result<> note(const QString &call)
    {
        QMutexLocker lock(&mutex_);
        calls_.append(call);
        if (throwing.contains(call))
            throw std::runtime_error("fake failure");
        return failing.contains(call) ? failure(u"Login incorrect (530)"_s) : Result<>();
    }
    QStringList calls() const { return locked(calls_); }
    QMap<QString, QByteArray> uploads() const { return locked(uploads_); }
    int logins() const { return locked(logins_); }
    PublishTask::ClientFactory clients();

private:
    friend class FakeFtpClient;
    mutable QMutex mutex_;
    QStringList calls_;
    QMap<QString, QByteArray> uploads_; // the last bytes put, by name
    int logins_ = 0;
    bool held_ = false;
    QSemaphore gate_;
};

class FakeFtpClient final : public FtpClient
{
public:
    explicit FakeFtpClient(FakeFtpServer &server) : s_(server) {}
    Result<> connect(const QString &server, const QString &login, const QString &password) override
    {
        while (s_.held_ && !s_.gate_.tryAcquire(1, 10))
            if (cancelled_ && *cancelled_)
                return failure(u"The transfer was stopped"_s);
        current_ = s_.home;
        Result<> result = s_.note(QStringList{"Connect", server, login, password}.join(u' '));
        refused_ = !result;
        QMutexLocker lock(&s_.mutex_);
        if (result && s_.logins_ >= s_.loginLimit)
            return failure(u"Too many connections (421)"_s);
        s_.logins_ += result.ok();
        return result;
    }
    QString currentDirectory() override { return current_; }
    Result<> changeDir(const QString &path) override
    {
        Result<> noted = note("ChangeDir " + path);
        current_ = !noted ? current_ : path.startsWith(u'/') ? path : current_ + u'/' + path;
        return noted;
    }
    bool adoptDirectory(const QString &reported) override { return (current_ = reported), true; }
    Result<> getFile(const QString &name, const QString &folder) override
    {
        QThread::msleep(s_.fetchMs);
        Result<> noted = note("GetFile " + name);
        if (noted &&
            !writeTestFile(folder + u'/' + name, s_.fetchedEmpty.contains(name) ? "" : s_.page))
            return failure("Could not write " + name);
        return noted;
    }
    Result<> putFile(const QString &localPath, const QString &remoteName) override
    {
        const QString name = QFileInfo(localPath).fileName(), as = remoteName;
        Result<> noted = note("PutFile " + name + (as.isEmpty() ? "" : " as " + as));
        const QByteArray bytes = readTestFile(localPath);
        QMutexLocker lock(&s_.mutex_);
        if (noted)
            s_.uploads_[as.isEmpty() ? name : as] = bytes;
        return noted;
    }
    void disconnect() override { (void)s_.note(u"Disconnect"_s); }
    void setCancelFlag(const std::atomic_bool *flag) override { cancelled_ = flag; }
    // Its later calls still work, as a client that logs in again would.
    bool isLost() const override { return lost_; }
    bool loginRefused() const override { return refused_; }

private:
    Result<> note(const QString &call) // fails as lost when the script says so
    {
        if (!s_.locked(s_.losing).contains(call))
            return s_.note(call);
        lost_ = true;
        return failure(u"The connection was lost"_s);
    }
    FakeFtpServer &s_;
    const std::atomic_bool *cancelled_ = nullptr;
    QString current_;
    bool lost_ = false, refused_ = false;
};

inline PublishTask::ClientFactory FakeFtpServer::clients()
{
    return [this] { return std::make_unique<FakeFtpClient>(*this); };
}

#pragma once

#include "publish/FtpClient.h"
#include "publish/PublishTask.h"

#include <QMap>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>

using namespace vellumet;

// Plays the server for publish runs without a network. Every client it makes notes its
// calls here and answers from the script; the window makes its clients on the run's
// thread, so what they record is guarded.
class FakeFtpServer final
{
public:
    // Script, set before a run: calls as noted ("ChangeDir /x", "GetFile a.html") that
    // give 0, calls that throw, and fetches that bring an empty file.
    QString home = QStringLiteral("/home/site");
    QStringList failing;
    QStringList throwing;
    QStringList fetchedEmpty;
    QStringList losing;   // calls that fail and leave their connection lost
    int loginLimit = 100; // logins beyond it are refused as too many
    int fetchMs = 0;      // how long each fetch takes, so that connections overlap

    void setPage(const QByteArray &page); // what every fetch gives
    void holdLogins() { held_ = true; }   // logins wait until releaseLogins() or a cancel
    void releaseLogins() { gate_.release(100); }
    Result<> note(const QString &call); // fails or throws as scripted

    QStringList calls() const { return locked(calls_); }
    QMap<QString, QByteArray> uploads() const { return locked(uploads_); } // last bytes by name
    int logins() const { return locked(logins_); }
    PublishTask::ClientFactory clients();

private:
    friend class FakeFtpClient;
    template <typename T> T locked(const T &value) const
    {
        QMutexLocker lock(&mutex_);
        return value;
    }
    mutable QMutex mutex_;
    QByteArray page_ = "<p>@{Intro}@</p>\r\n";
    QStringList calls_;
    QMap<QString, QByteArray> uploads_;
    int logins_ = 0;
    bool held_ = false;
    QSemaphore gate_;
};

class FakeFtpClient final : public FtpClient
{
public:
    explicit FakeFtpClient(FakeFtpServer &server) : server_(server) {}
    Result<> connect(const QString &server, const QString &login, const QString &password) override;
    QString currentDirectory() override { return current_; }
    Result<> changeDir(const QString &path) override;
    Result<> getFile(const QString &remoteName, const QString &localFolder) override;
    Result<> putFile(const QString &localPath, const QString &remoteName) override;
    void disconnect() override { (void)server_.note(QStringLiteral("Disconnect")); }
    void setCancelFlag(const std::atomic_bool *flag) override { cancelled_ = flag; }
    // Its later calls still work, as a client that logs in again would.
    bool isLost() const override { return lost_; }

private:
    Result<> note(const QString &call); // fails as lost when the script says so
    FakeFtpServer &server_;
    const std::atomic_bool *cancelled_ = nullptr;
    QString current_;
    bool lost_ = false;
};

#include "publish/KeychainPasswordStore.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <qt6keychain/keychain.h>

#include <memory>

namespace vellumet
{

namespace
{

const QString Service = QStringLiteral("Vellumet");

// What became of one keyring job.
struct JobEnd {
    bool answered = false;
    QKeychain::Error error = QKeychain::NoError;
    QString reason;
};

// Waits for job's answer at most limit. A job that does not answer in time is left to
// delete itself whenever it ends, since the keyring may still be working on it.
JobEnd waitFor(QKeychain::Job &job, std::chrono::milliseconds limit)
{
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    job.start();
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done)
        return {};
    return {true, job.error(), job.errorString()};
}

template <typename JobType> struct OwnedJob {
    explicit OwnedJob(const QString &key) : job(new JobType(Service))
    {
        job->setAutoDelete(false);
        job->setKey(key);
    }
    ~OwnedJob()
    {
        if (ended)
            delete job;
        else
            job->setAutoDelete(true);
    }
    JobEnd run(std::chrono::milliseconds limit)
    {
        JobEnd end = waitFor(*job, limit);
        ended = end.answered;
        return end;
    }
    JobType *job;
    bool ended = false;
};

// The job's answer as a result; available turns false when there is no service to ask.
Result<> outcome(const JobEnd &end, std::chrono::milliseconds limit, bool &available)
{
    if (!end.answered) {
        available = false;
        return failure(QStringLiteral("The keyring did not answer within %1 seconds")
                           .arg(limit.count() / 1000));
    }
    switch (end.error) {
    case QKeychain::NoError:
        return {};
    case QKeychain::EntryNotFound:
        return failure(QStringLiteral("No password is stored on this computer"));
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return failure(QStringLiteral("The keyring refused access (%1)").arg(end.reason));
    default:
        available = false;
        return failure(
            QStringLiteral("No keyring service is running on this computer (%1)").arg(end.reason));
    }
}

} // namespace

KeychainPasswordStore::KeychainPasswordStore(std::chrono::milliseconds limit) : limit_(limit) {}

QString KeychainPasswordStore::entryKey(const QString &server, const QString &login)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(login)) + u'@' + server;
}

Result<QString> KeychainPasswordStore::read(const QString &server, const QString &login)
{
    OwnedJob<QKeychain::ReadPasswordJob> reading(entryKey(server, login));
    const Result<> ended = outcome(reading.run(limit_), limit_, available_);
    if (!ended)
        return failure(ended.error());
    return reading.job->textData();
}

Result<> KeychainPasswordStore::write(const QString &server, const QString &login,
                                      const QString &password)
{
    OwnedJob<QKeychain::WritePasswordJob> writing(entryKey(server, login));
    writing.job->setTextData(password);
    return outcome(writing.run(limit_), limit_, available_);
}

void KeychainPasswordStore::forget(const QString &server, const QString &login)
{
    OwnedJob<QKeychain::DeletePasswordJob> forgetting(entryKey(server, login));
    (void)outcome(forgetting.run(limit_), limit_, available_);
}

} // namespace vellumet

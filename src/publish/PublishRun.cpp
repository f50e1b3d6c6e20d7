#include "publish/PublishRun.h"

#include "publish/FtpClient.h"
#include "publish/OrderedLog.h"
#include "publish/RemotePath.h"
#include "publish/ServerAddress.h"
#include "publish/WebText.h"
#include "site/AnsiText.h"
#include "site/FolderLock.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vellumet
{

namespace
{

// A yes or no that threads wait for; the first one given stands.
class Verdict
{
public:
    void give(bool yes)
    {
        {
            const std::lock_guard lock(mutex_);
            if (given_)
                return;
            given_ = true;
            yes_ = yes;
        }
        changed_.notify_all();
    }
    bool wait()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return given_; });
        return yes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool given_ = false;
    bool yes_ = false;
};

// One connection of a run and where it stands; each is used by one thread only.
struct Connection {
    FtpClient &ftp;
    QString home;
    QString lastDir; // this connection's own, as the run's is for one connection
    QString currentDir;
};

class PublishRun
{
public:
    PublishRun(PublishJob job, FtpClient &ftp, const LogSink &log,
               const std::atomic_bool *cancelled, const FtpClientFactory &moreClients,
               const PasswordSource &askPassword)
        : job_(std::move(job)), ftp_(ftp), log_(log), cancelled_(cancelled),
          moreClients_(moreClients), askPassword_(askPassword)
    {
    }

    PublishOutcome run()
    {
        say(QStringLiteral("Saving local copy"));
        guarded([&] { saveLocalCopies(); });
        // Whatever is refused is refused before anything reaches the server.
        QList<bool> usable;
        for (const Page &page : job_.pages)
            usable.append(isUsable(page));
        bool connected = false;
        if (!stopped()) {
            queue_ = pageOrder(usable);
            guarded([&] { connected = connect(); });
            ftp_.watchLogin({}); // it would outlive this run
        }
        greeted_.give(connected);
        accepted_.give(connected);
        if (connected)
            guarded([&] { publishPages(usable); });
        if (stopped())
            say(QStringLiteral("ERROR Publishing was stopped"));
        if (connected) {
            say(QStringLiteral("Disconnecting"));
            guarded([&] { ftp_.disconnect(); }); // while the others say goodbye too
        }
        endMore();
        say(QStringLiteral("Finished"));
        return {std::move(job_.paragraphs),
                localCopiesSaved_,
                currentDir_,
                homeDir_,
                lastDir_,
                loginRefused_};
    }

private:
    // The one way into the log: no value, from the server or the site definition, can
    // break a line or forge one.
    void say(const QString &line) const { log_(oneLine(line)); }
    void say(qsizetype page, const QString &line) const { pageLog_->line(page, oneLine(line)); }

    bool stopped() const { return cancelled_ && cancelled_->load(); }

    // Never silent: the user's text must be known to be safe before anything is uploaded.
    void saveLocalCopies()
    {
        localCopiesSaved_ = false; // until every copy is known to be on disk
        bool saved = true;
        for (const LocalCopyFailure &failure :
             vellumet::saveLocalCopies(job_.paragraphs, job_.folder)) {
            if (failure.earlierTextLost) {
                say(QStringLiteral("ERROR Failed to Keep Earlier Text ") + failure.fileName +
                    QStringLiteral(" - ") + failure.reason);
                continue;
            }
            say(QStringLiteral("ERROR Failed to Save Local Copy ") + failure.fileName +
                QStringLiteral(" - ") + failure.reason);
            saved = saved && failure.keptOnPurpose;
        }
        localCopiesSaved_ = saved;
    }

    // A line feed in a value would end its FTP command and start one of the site
    // definition's making.
    QString invalidLoginValue() const
    {
        const SiteSettings &s = job_.settings;
        for (const auto &[key, value] :
             {std::pair{"SERVER", &s.server}, std::pair{"LOGIN", &s.login},
              std::pair{"PASSWORD", &s.password}})
            if (hasControlCharacter(*value))
                return QLatin1String(key);
        return {};
    }

    // Asked only now, with the texts safe on disk whatever the answer.
    bool takeAskedPassword()
    {
        if (!askPassword_)
            return true;
        const Result<QString> given = askPassword_();
        if (!given)
            say(QStringLiteral("ERROR ") + given.error() +
                QStringLiteral(" - Failed to connect to Server"));
        else
            job_.settings.password = *given;
        return given.ok();
    }

    bool connect()
    {
        const SiteSettings &s = job_.settings;
        say(QStringLiteral("Connecting to Server ") + withoutUserInformation(s.server));
        if (!takeAskedPassword())
            return false;
        if (const QString key = invalidLoginValue(); !key.isEmpty()) {
            say(QStringLiteral("ERROR Invalid character in ") + key +
                QStringLiteral(" - Failed to connect to Server"));
            return false;
        }
        ftp_.setCancelFlag(cancelled_);
        startMore();
        if (const Result<> connected = ftp_.connect(s.server, s.login, s.password); !connected) {
            loginRefused_ = ftp_.loginRefused();
            say(QStringLiteral("ERROR ") + connected.error() +
                QStringLiteral(" - Failed to connect to Server"));
            return false;
        }
        currentDir_ = ftp_.currentDirectory();
        say(QStringLiteral("Current Directory is ") + currentDir_);
        lastDir_.clear();
        homeDir_ = currentDir_;
        return true;
    }

    // A page whose names would reach outside the folder, into a command, onto one of the
    // program's own files or through a link is reported and skipped.
    bool isUsable(const Page &page) const
    {
        if (hasControlCharacter(page.directory)) {
            say(QStringLiteral("ERROR Invalid Directory Name ") + page.directory);
            return false;
        }
        for (const QString &name : {page.source, page.target}) {
            if (!isPlainFileName(name) || isProgramFileName(name) || isLocalCopyName(name)) {
                say(QStringLiteral("ERROR Invalid File Name ") + name);
                return false;
            }
        }
        for (const QString &name : {page.source, page.target}) {
            if (const Result<> writable = checkWritable(localPath(name)); !writable) {
                say(QStringLiteral("ERROR Failed to Write File ") + name + QStringLiteral(" - ") +
                    writable.error());
                return false;
            }
        }
        return true;
    }

    bool isLocalCopyName(const QString &name) const
    {
        return std::any_of(
            job_.paragraphs.cbegin(), job_.paragraphs.cend(), [&](const Paragraph &para) {
                return name.compare(para.name + QStringLiteral(".txt"), Qt::CaseInsensitive) == 0;
            });
    }

    void publishPages(const QList<bool> &usable)
    {
        OrderedLog pageLog([this](const QString &line) { log_(line); }, directoriesOf(job_.pages),
                           homeDir_);
        pageLog_ = &pageLog;
        for (qsizetype i = 0; i < usable.size(); ++i)
            if (!usable[i])
                pageLog.skip(i);
        Connection first{ftp_, homeDir_, {}, homeDir_};
        const auto ended = qScopeGuard([&] { // on the way out, whatever happened
            ready_.give(false);
            abandonLogins_ = true;
            waitForMore();
        });
        ready_.give(true);
        work(first);
        if (stopped())
            abandonLogins_ = true;
        waitForMore();
        working_ = 1;
        work(first); // what a lost connection gave back when no other was left to take it
        pageLog.close();
        lastDir_ = pageLog.lastDir();
        currentDir_ = pageLog.currentDir();
        pageLog_ = nullptr;
    }

    static QStringList directoriesOf(const QList<Page> &pages)
    {
        QStringList directories;
        for (const Page &page : pages)
            directories.append(page.directory);
        return directories;
    }

    bool parallel() const { return moreClients_ && job_.settings.connections > 1; }

    // Pages that share a local file name are one piece of work, done in catalogue order
    // on one connection: the files in the program folder are theirs in turn. The largest
    // go first where the last run left their sources; one connection keeps catalogue order.
    QList<QList<qsizetype>> pageOrder(const QList<bool> &usable) const
    {
        QList<qsizetype> root(usable.size());
        std::iota(root.begin(), root.end(), 0);
        const auto find = [&](qsizetype i) {
            while (root[i] != i)
                i = root[i] = root[root[i]];
            return i;
        };
        QHash<QString, qsizetype> pageWith;
        for (qsizetype i = 0; parallel() && i < usable.size(); ++i) {
            for (const QString &name : {job_.pages[i].source, job_.pages[i].target}) {
                const qsizetype other = find(pageWith.value(name.toLower(), i));
                pageWith.insert(name.toLower(), i);
                root[std::max(find(i), other)] = std::min(find(i), other);
            }
        }
        QList<QList<qsizetype>> groups;
        QHash<qsizetype, qsizetype> groupOf;
        for (qsizetype i = 0; i < usable.size(); ++i) {
            if (!usable[i])
                continue;
            if (!groupOf.contains(find(i))) {
                groupOf.insert(find(i), groups.size());
                groups.append(QList<qsizetype>());
            }
            groups[groupOf.value(find(i))].append(i);
        }
        if (parallel())
            std::stable_sort(groups.begin(), groups.end(), [&](const auto &a, const auto &b) {
                return knownSize(a) > knownSize(b);
            });
        return groups;
    }

    // What the sources the last run left weigh together; -1 when one is missing.
    qint64 knownSize(const QList<qsizetype> &pages) const
    {
        qint64 size = 0;
        for (const qsizetype i : pages) {
            const QFileInfo source(localPath(job_.pages[i].source));
            if (!source.isFile())
                return -1;
            size += source.size();
        }
        return size;
    }

    // The extra connections connect as soon as the server has greeted the first, which
    // keeps the first one's place with a server that counts connections.
    void startMore()
    {
        const qsizetype wanted =
            parallel() ? std::min<qsizetype>(job_.settings.connections, queue_.size()) : 1;
        if (wanted > 1)
            ftp_.watchLogin([this](FtpClient::LoginStep step) {
                (step == FtpClient::LoginStep::Greeted ? greeted_ : accepted_).give(true);
                return true;
            });
        try {
            for (qsizetype i = 1; i < wanted; ++i)
                more_.emplace_back([this] { openAnother(); });
        } catch (const std::system_error &) { // no more threads: fewer connections
        }
    }

    void endMore()
    {
        for (Verdict *verdict : {&greeted_, &accepted_, &ready_})
            verdict->give(false);
        abandonLogins_ = true;
        for (std::thread &thread : more_)
            thread.join();
        more_.clear();
    }

    // Until every other connection is done with pages; saying goodbye is their own affair.
    void waitForMore()
    {
        std::unique_lock lock(mutex_);
        leftChanged_.wait(lock, [this] { return left_ == qsizetype(more_.size()); });
    }

    void leave()
    {
        {
            const std::lock_guard lock(mutex_);
            ++left_;
        }
        leftChanged_.notify_all();
    }

    // Another connection, logged in with the same settings. A refusal (too many
    // connections, say) only means fewer of them; so does anything it throws.
    void openAnother() noexcept
    {
        auto left = qScopeGuard([this] { leave(); });
        try {
            if (!greeted_.wait() || stopped())
                return;
            std::unique_ptr<FtpClient> ftp = moreClients_();
            if (!ftp || stopped())
                return;
            ftp->setCancelFlag(&abandonLogins_);
            ftp_.shareSessionsWith(*ftp);
            // No password goes out before the first one's has been accepted.
            ftp->watchLogin([this](FtpClient::LoginStep step) {
                return step != FtpClient::LoginStep::Greeted || accepted_.wait();
            });
            const SiteSettings &s = job_.settings;
            if (!ftp->connect(s.server, s.login, s.password))
                return;
            if (!ready_.wait()) {
                ftp->disconnect();
                return;
            }
            ftp->setCancelFlag(cancelled_);
            const QString home = ftp->currentDirectory();
            Connection connection{*ftp, home, {}, home};
            {
                const std::lock_guard lock(mutex_);
                ++working_;
            }
            work(connection);
            left.dismiss();
            leave();
            ftp->disconnect();
        } catch (...) {
        }
    }

    // Takes pages until there are none, the run is stopped or the connection is lost
    // while another can go on without it.
    void work(Connection &connection)
    {
        for (;;) {
            const QList<qsizetype> pages = next(connection);
            if (pages.isEmpty())
                return;
            for (qsizetype k = 0; k < pages.size() && !stopped(); ++k) {
                publishPage(connection, pages[k]);
                if (connection.ftp.isLost() && retire(pages.mid(k + 1)))
                    return;
            }
        }
    }

    // The next piece of work; none means this connection has left.
    QList<qsizetype> next(const Connection &connection)
    {
        const std::lock_guard lock(mutex_);
        if (!queue_.isEmpty() && !stopped()) {
            // Of the pieces about to be taken anyway, one in this connection's directory, or
            // one another connection has entered, spares it a change of directory.
            const qsizetype round = parallel() ? job_.settings.connections : 1;
            qsizetype best = 0;
            for (qsizetype i = 0; i < std::min(round, queue_.size()); ++i)
                if (changeCost(connection, i) < changeCost(connection, best))
                    best = i;
            return queue_.takeAt(best);
        }
        --working_;
        abandonLogins_ = true; // a connection still logging in would find nothing to do
        return {};
    }

    // 0: already there; 1: known from another connection; 2: two round trips.
    int changeCost(const Connection &connection, qsizetype piece) const
    {
        const QString &directory = job_.pages[queue_[piece].first()].directory;
        if (directory == connection.lastDir)
            return 0;
        return entered_.contains(
                   pageDirectoryPath(connection.home, directory, !connection.lastDir.isEmpty()))
                   ? 1
                   : 2;
    }

    // The last connection carries on, its pages failing as they would with one.
    bool retire(const QList<qsizetype> &left)
    {
        const std::lock_guard lock(mutex_);
        if (working_ <= 1)
            return false;
        if (!left.isEmpty())
            queue_.prepend(left);
        --working_;
        return true;
    }

    void publishPage(Connection &connection, qsizetype index)
    {
        pageLog_->start(index);
        guarded(index, [&] { publishPageSteps(connection, index); });
        pageLog_->finish(index);
    }

    void publishPageSteps(Connection &connection, qsizetype index)
    {
        const Page &page = job_.pages[index];
        const bool inDirectory = changeRemoteDir(connection, page.directory);
        pageLog_->entered(index, inDirectory, connection.currentDir);
        if (!inDirectory)
            return;
        FtpClient &ftp = connection.ftp;
        say(index, QStringLiteral("Getting File ") + page.source);
        if (!ftp.getFile(page.source, job_.folder)) {
            say(index, QStringLiteral("ERROR Failed to Get File ") + page.source);
            return;
        }
        if (!writeTarget(index) || stopped())
            return;
        // Only the target: the source was just fetched and the splice never touches it, so
        // putting it back could only undo an edit made on the server in between.
        say(index, QStringLiteral("Putting File ") + page.target);
        if (!put(index, ftp, page.target))
            say(index, QStringLiteral("ERROR Failed to Put File ") + page.target);
    }

    // The client may have had to change how it uploads; the user hears of it at once.
    bool put(qsizetype index, FtpClient &ftp, const QString &name)
    {
        const bool stored = ftp.putFile(localPath(name), QString()).ok();
        if (const QString notice = ftp.takeNotice(); !notice.isEmpty())
            say(index, notice);
        return stored;
    }

    // Reads the fetched source, splices it and writes the target. A file that cannot be
    // read or written skips the page, so nothing empty or stale is ever uploaded.
    bool writeTarget(qsizetype index)
    {
        const Page &page = job_.pages[index];
        const Result<QByteArray> bytes = readWholeFile(localPath(page.source));
        if (!bytes) {
            say(index, QStringLiteral("ERROR Failed to Read File ") + page.source);
            return false;
        }
        // A template emptied on the server would otherwise empty the live page.
        if (bytes->isEmpty()) {
            say(index, QStringLiteral("ERROR Empty File ") + page.source);
            return false;
        }
        const PageText text = decodePage(*bytes);
        const SiteSettings &s = job_.settings;
        const Result<QString> spliced =
            spliceParagraphs(text.text, s.delimiter, s.endDelimiter, job_.paragraphs);
        const Result<> written =
            spliced ? writeWholeFile(localPath(page.target), encodePage(*spliced, text.utf8))
                    : Result<>(failure(spliced.error()));
        if (!written) {
            say(index, QStringLiteral("ERROR Failed to Write File ") + page.target +
                           QStringLiteral(" - ") + written.error());
            return false;
        }
        return true;
    }

    // The connection's own change; what the log says of it is the page log's to decide.
    // Where another connection made the same change, what the server named the directory
    // then stands, and the two round trips are spared.
    bool changeRemoteDir(Connection &connection, const QString &directory)
    {
        if (directory == connection.lastDir)
            return true;
        const QString path =
            pageDirectoryPath(connection.home, directory, !connection.lastDir.isEmpty());
        const QString known = parallel() ? knownDirectory(path) : QString();
        if (known.isEmpty() || !connection.ftp.adoptDirectory(known)) {
            if (!connection.ftp.changeDir(path))
                return false;
            const std::lock_guard lock(mutex_);
            entered_.insert(path, connection.ftp.currentDirectory());
        }
        connection.lastDir = directory;
        connection.currentDir = connection.ftp.currentDirectory();
        return true;
    }

    QString knownDirectory(const QString &path)
    {
        const std::lock_guard lock(mutex_);
        return entered_.value(path);
    }

    QString localPath(const QString &name) const { return job_.folder + u'/' + name; }

    // Nothing thrown by a step may end the run without its closing lines.
    template <typename Step> void guarded(Step step) { guarded(-1, step); }
    template <typename Step> void guarded(qsizetype page, Step step)
    {
        try {
            step();
        } catch (const std::exception &e) {
            report(page, QStringLiteral("ERROR ") + QString::fromLocal8Bit(e.what()));
        } catch (...) {
            report(page, QStringLiteral("ERROR Unexpected failure"));
        }
    }
    void report(qsizetype page, const QString &line) const
    {
        page < 0 ? say(line) : say(page, line);
    }

    PublishJob job_;
    FtpClient &ftp_;
    const LogSink &log_;
    const std::atomic_bool *cancelled_;
    const FtpClientFactory &moreClients_;
    const PasswordSource &askPassword_;
    OrderedLog *pageLog_ = nullptr;
    std::mutex mutex_; // guards queue_, working_, entered_ and left_
    QList<QList<qsizetype>> queue_;
    int working_ = 1;                 // connections taking pages, the first included
    QHash<QString, QString> entered_; // a path changed to, and what the server called it
    std::vector<std::thread> more_;
    Verdict greeted_;  // the server greeted the first connection: the others may connect
    Verdict accepted_; // it took the first's login: theirs may go out
    Verdict ready_;    // the first is in and the pages are laid out: they may take them
    std::condition_variable leftChanged_;
    qsizetype left_ = 0; // other connections done with pages
    std::atomic_bool abandonLogins_ = false;
    QString currentDir_;
    QString homeDir_;
    QString lastDir_;
    bool localCopiesSaved_ = false;
    bool loginRefused_ = false;
};

} // namespace

PublishOutcome publishSite(PublishJob job, FtpClient &ftp, const LogSink &log,
                           const std::atomic_bool *cancelled, const FtpClientFactory &moreClients,
                           const PasswordSource &askPassword)
{
    return PublishRun(std::move(job), ftp, log, cancelled, moreClients, askPassword).run();
}

QString oneLine(const QString &line)
{
    QString shown;
    shown.reserve(line.size());
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u == u'\r' || u == u'\n' || u == u'\t')
            shown += u == u'\r' ? u"\\r" : u == u'\n' ? u"\\n" : u"\\t";
        else if (u < 0x20 || u == 0x7f)
            shown.append(u'^').append(QChar(char16_t(u ^ 0x40)));
        else if ((u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            shown += QChar(QChar::ReplacementCharacter);
        else
            shown += c;
    }
    return shown;
}

} // namespace vellumet

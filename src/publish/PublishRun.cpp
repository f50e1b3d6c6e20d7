#include "publish/PublishRun.h"

#include "publish/FtpClient.h"
#include "publish/RemotePath.h"
#include "publish/WebText.h"
#include "site/AnsiText.h"
#include "site/FolderLock.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace vellumet
{

namespace
{

class PublishRun
{
public:
    PublishRun(PublishJob job, FtpClient &ftp, const LogSink &log,
               const std::atomic_bool *cancelled)
        : job_(std::move(job)), ftp_(ftp), log_(log), cancelled_(cancelled)
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
        if (!stopped())
            guarded([&] { connected = connect(); });
        for (qsizetype i = 0; connected && i < job_.pages.size() && !stopped(); ++i)
            if (usable[i])
                guarded([&] { publishPage(job_.pages[i]); });
        if (stopped())
            say(QStringLiteral("ERROR Publishing was stopped"));
        if (connected) {
            say(QStringLiteral("Disconnecting"));
            guarded([&] { ftp_.disconnect(); });
        }
        say(QStringLiteral("Finished"));
        return {std::move(job_.paragraphs), localCopiesSaved_, currentDir_, homeDir_, lastDir_};
    }

private:
    // The one way into the log: no value, from the server or the site definition, can
    // break a line or forge one.
    void say(const QString &line) const { log_(oneLine(line)); }

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

    bool connect()
    {
        const SiteSettings &s = job_.settings;
        say(QStringLiteral("Connecting to Server ") + s.server);
        if (const QString key = invalidLoginValue(); !key.isEmpty()) {
            say(QStringLiteral("ERROR Invalid character in ") + key +
                QStringLiteral(" - Failed to connect to Server"));
            return false;
        }
        ftp_.setCancelFlag(cancelled_);
        if (const Result<> connected = ftp_.connect(s.server, s.login, s.password); !connected) {
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

    void publishPage(const Page &page)
    {
        if (!changeRemoteDir(page.directory))
            return;
        say(QStringLiteral("Getting File ") + page.source);
        if (!ftp_.getFile(page.source, job_.folder)) {
            say(QStringLiteral("ERROR Failed to Get File ") + page.source);
            return;
        }
        if (!writeTarget(page) || stopped())
            return;
        // Only the target: the source was just fetched and the splice never touches it, so
        // putting it back could only undo an edit made on the server in between.
        say(QStringLiteral("Putting File ") + page.target);
        if (!ftp_.putFile(localPath(page.target), QString()))
            say(QStringLiteral("ERROR Failed to Put File ") + page.target);
    }

    // Reads the fetched source, splices it and writes the target. A file that cannot be
    // read or written skips the page, so nothing empty or stale is ever uploaded.
    bool writeTarget(const Page &page)
    {
        const Result<QByteArray> bytes = readWholeFile(localPath(page.source));
        if (!bytes) {
            say(QStringLiteral("ERROR Failed to Read File ") + page.source);
            return false;
        }
        // A template emptied on the server would otherwise empty the live page.
        if (bytes->isEmpty()) {
            say(QStringLiteral("ERROR Empty File ") + page.source);
            return false;
        }
        const PageText text = decodePage(*bytes);
        const SiteSettings &s = job_.settings;
        const QString spliced =
            spliceParagraphs(text.text, s.delimiter, s.endDelimiter, job_.paragraphs);
        const Result<> written =
            writeWholeFile(localPath(page.target), encodePage(spliced, text.utf8));
        if (!written) {
            say(QStringLiteral("ERROR Failed to Write File ") + page.target +
                QStringLiteral(" - ") + written.error());
            return false;
        }
        return true;
    }

    bool changeRemoteDir(const QString &directory)
    {
        if (directory == lastDir_)
            return true;
        const QString path = pageDirectoryPath(homeDir_, directory, !lastDir_.isEmpty());
        say(QStringLiteral("Changing Directory to ") + path);
        if (!ftp_.changeDir(path)) {
            say(QStringLiteral("ERROR Failed to Change Directory to ") + path);
            return false;
        }
        lastDir_ = directory;
        currentDir_ = ftp_.currentDirectory();
        say(QStringLiteral("Current Directory is ") + currentDir_);
        return true;
    }

    QString localPath(const QString &name) const { return job_.folder + u'/' + name; }

    // Nothing thrown by a step may end the run without its closing lines.
    template <typename Step> void guarded(Step step)
    {
        try {
            step();
        } catch (const std::exception &e) {
            say(QStringLiteral("ERROR ") + QString::fromLocal8Bit(e.what()));
        } catch (...) {
            say(QStringLiteral("ERROR Unexpected failure"));
        }
    }

    PublishJob job_;
    FtpClient &ftp_;
    const LogSink &log_;
    const std::atomic_bool *cancelled_;
    QString currentDir_;
    QString homeDir_;
    QString lastDir_;
    bool localCopiesSaved_ = false;
};

} // namespace

PublishOutcome publishSite(PublishJob job, FtpClient &ftp, const LogSink &log,
                           const std::atomic_bool *cancelled)
{
    return PublishRun(std::move(job), ftp, log, cancelled).run();
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

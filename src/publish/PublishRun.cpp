#include "publish/PublishRun.h"

#include "publish/FtpClient.h"
#include "publish/WebText.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <exception>

namespace vellumet
{

namespace
{

class PublishRun
{
public:
    PublishRun(PublishJob job, FtpClient &ftp, const LogSink &log)
        : job_(std::move(job)), ftp_(ftp), log_(log)
    {
    }

    PublishOutcome run()
    {
        log_(QStringLiteral("Saving local copy"));
        guarded([&] { saveLocalCopies(); });
        bool connected = false;
        guarded([&] { connected = connect(); });
        if (connected) {
            for (const Page &page : job_.pages)
                guarded([&] { publishPage(page); });
            log_(QStringLiteral("Disconnecting"));
            guarded([&] { ftp_.disconnect(); });
        }
        log_(QStringLiteral("Finished"));
        return {std::move(job_.paragraphs), localCopiesSaved_, currentDir_, homeDir_, lastDir_};
    }

private:
    // Never silent: the user's text must be known to be safe before anything is uploaded.
    void saveLocalCopies()
    {
        localCopiesSaved_ = false; // until every copy is known to be on disk
        bool saved = true;
        for (const LocalCopyFailure &failure :
             vellumet::saveLocalCopies(job_.paragraphs, job_.folder)) {
            if (failure.earlierTextLost) {
                log_(QStringLiteral("ERROR Failed to Keep Earlier Text ") + failure.fileName +
                     QStringLiteral(" - ") + failure.reason);
                continue;
            }
            log_(QStringLiteral("ERROR Failed to Save Local Copy ") + failure.fileName +
                 QStringLiteral(" - ") + failure.reason);
            saved = saved && failure.keptOnPurpose;
        }
        localCopiesSaved_ = saved;
    }

    bool connect()
    {
        const SiteSettings &s = job_.settings;
        log_(QStringLiteral("Connecting to Server ") + s.server);
        if (const Result<> connected = ftp_.connect(s.server, s.login, s.password); !connected) {
            log_(QStringLiteral("ERROR ") + connected.error() +
                 QStringLiteral(" - Failed to connect to Server"));
            return false;
        }
        currentDir_ = ftp_.currentDirectory();
        log_(QStringLiteral("Current Directory is ") + currentDir_);
        lastDir_.clear();
        homeDir_ = currentDir_;
        return true;
    }

    void publishPage(const Page &page)
    {
        if (!changeRemoteDir(page.directory))
            return;
        for (const QString &name : {page.source, page.target}) {
            if (!isPlainFileName(name)) {
                log_(QStringLiteral("ERROR Invalid File Name ") + name);
                return;
            }
        }
        log_(QStringLiteral("Getting File ") + page.source);
        if (!ftp_.getFile(page.source, job_.folder)) {
            log_(QStringLiteral("ERROR Failed to Get File ") + page.source);
            return;
        }
        if (!writeTarget(page))
            return;
        log_(QStringLiteral("Putting File ") + page.target);
        (void)ftp_.putFile(localPath(page.source), QString());
        if (!ftp_.putFile(localPath(page.target), QString()))
            log_(QStringLiteral("ERROR Failed to Put File ") + page.target);
    }

    // Reads the fetched source, splices it and writes the target. A file that cannot be
    // read or written skips the page, so nothing empty or stale is ever uploaded.
    bool writeTarget(const Page &page)
    {
        const Result<QByteArray> bytes = readWholeFile(localPath(page.source));
        if (!bytes) {
            log_(QStringLiteral("ERROR Failed to Read File ") + page.source);
            return false;
        }
        const PageText text = decodePage(*bytes);
        const SiteSettings &s = job_.settings;
        const QString spliced =
            spliceParagraphs(text.text, s.delimiter, s.endDelimiter, job_.paragraphs);
        const Result<> written =
            writeWholeFile(localPath(page.target), encodePage(spliced, text.utf8));
        if (!written) {
            log_(QStringLiteral("ERROR Failed to Write File ") + page.target +
                 QStringLiteral(" - ") + written.error());
            return false;
        }
        return true;
    }

    bool changeRemoteDir(const QString &directory)
    {
        if (directory == lastDir_)
            return true;
        const QString path = remotePath(directory);
        log_(QStringLiteral("Changing Directory to ") + path);
        if (!ftp_.changeDir(path)) {
            log_(QStringLiteral("ERROR Failed to Change Directory to ") + path);
            return false;
        }
        lastDir_ = directory;
        currentDir_ = ftp_.currentDirectory();
        log_(QStringLiteral("Current Directory is ") + currentDir_);
        return true;
    }

    // Relative directories are taken from the login directory once the connection has
    // left it; before that the server resolves them itself.
    QString remotePath(const QString &directory) const
    {
        if (directory.startsWith(u'/') || lastDir_.isEmpty())
            return directory;
        const bool noSeparator =
            homeDir_.endsWith(u'/') || (directory.isEmpty() && !homeDir_.isEmpty());
        return homeDir_ + (noSeparator ? QString() : QStringLiteral("/")) + directory;
    }

    QString localPath(const QString &name) const { return job_.folder + u'/' + name; }

    // Nothing thrown by a step may end the run without its closing lines.
    template <typename Step> void guarded(Step step)
    {
        try {
            step();
        } catch (const std::exception &e) {
            log_(QStringLiteral("ERROR ") + QString::fromLocal8Bit(e.what()));
        } catch (...) {
            log_(QStringLiteral("ERROR Unexpected failure"));
        }
    }

    PublishJob job_;
    FtpClient &ftp_;
    const LogSink &log_;
    QString currentDir_;
    QString homeDir_;
    QString lastDir_;
    bool localCopiesSaved_ = false;
};

} // namespace

PublishOutcome publishSite(PublishJob job, FtpClient &ftp, const LogSink &log)
{
    return PublishRun(std::move(job), ftp, log).run();
}

} // namespace vellumet

#include "publish/PublishRun.h"

#include "publish/FtpClient.h"
#include "publish/WebText.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <exception>

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
            for (const Page &page : job_.Pages)
                guarded([&] { publishPage(page); });
            log_(QStringLiteral("Disconnecting"));
            guarded([&] { ftp_.disconnect(); });
        }
        log_(QStringLiteral("Finished"));
        return {std::move(job_.Paragraphs), localCopiesSaved_, currentDir_, homeDir_, lastDir_};
    }

private:
    // Never silent: the user's text must be known to be safe before anything is uploaded.
    void saveLocalCopies()
    {
        localCopiesSaved_ = false; // until every copy is known to be on disk
        bool saved = true;
        for (const LocalCopyFailure &failure : SaveLocalCopies(job_.Paragraphs, job_.Folder)) {
            log_(QStringLiteral("ERROR Failed to Save Local Copy ") + failure.fileName +
                 QStringLiteral(" - ") + failure.reason);
            saved = saved && failure.keptOnPurpose;
        }
        localCopiesSaved_ = saved;
    }

    bool connect()
    {
        const SiteSettings &s = job_.Settings;
        log_(QStringLiteral("Connecting to Server ") + s.Server);
        if (const Result<> connected = ftp_.connect(s.Server, s.Login, s.Password); !connected) {
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
        if (!ChangeRemoteDir(page.PageDirectory))
            return;
        for (const QString &name : {page.PageSource, page.PageTarget}) {
            if (!isPlainFileName(name)) {
                log_(QStringLiteral("ERROR Invalid File Name ") + name);
                return;
            }
        }
        log_(QStringLiteral("Getting File ") + page.PageSource);
        if (!ftp_.getFile(page.PageSource, job_.Folder)) {
            log_(QStringLiteral("ERROR Failed to Get File ") + page.PageSource);
            return;
        }
        if (!writeTarget(page))
            return;
        log_(QStringLiteral("Putting File ") + page.PageTarget);
        (void)ftp_.putFile(localPath(page.PageSource), QString());
        if (!ftp_.putFile(localPath(page.PageTarget), QString()))
            log_(QStringLiteral("ERROR Failed to Put File ") + page.PageTarget);
    }

    // Reads the fetched source, splices it and writes the target. A file that cannot be
    // read or written skips the page, so nothing empty or stale is ever uploaded.
    bool writeTarget(const Page &page)
    {
        const Result<QByteArray> bytes = readWholeFile(localPath(page.PageSource));
        if (!bytes) {
            log_(QStringLiteral("ERROR Failed to Read File ") + page.PageSource);
            return false;
        }
        const PageText text = DecodePage(*bytes);
        const SiteSettings &s = job_.Settings;
        const QString spliced =
            SpliceParagraphs(text.text, s.Delimiter, s.EndDelimiter, job_.Paragraphs);
        const Result<> written =
            writeWholeFile(localPath(page.PageTarget), EncodePage(spliced, text.utf8));
        if (!written) {
            log_(QStringLiteral("ERROR Failed to Write File ") + page.PageTarget +
                 QStringLiteral(" - ") + written.error());
            return false;
        }
        return true;
    }

    bool ChangeRemoteDir(const QString &directory)
    {
        if (directory == lastDir_)
            return true;
        const QString path = RemotePath(directory);
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
    QString RemotePath(const QString &directory) const
    {
        if (directory.startsWith(u'/') || lastDir_.isEmpty())
            return directory;
        const bool noSeparator =
            homeDir_.endsWith(u'/') || (directory.isEmpty() && !homeDir_.isEmpty());
        return homeDir_ + (noSeparator ? QString() : QStringLiteral("/")) + directory;
    }

    QString localPath(const QString &name) const { return job_.Folder + u'/' + name; }

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

PublishOutcome PublishSite(PublishJob job, FtpClient &ftp, const LogSink &log)
{
    return PublishRun(std::move(job), ftp, log).run();
}

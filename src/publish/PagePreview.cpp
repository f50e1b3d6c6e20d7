#include "publish/PagePreview.h"

#include "publish/FtpClient.h"
#include "publish/WebText.h"
#include "publish/WorkerThread.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <exception>
#include <optional>

namespace vellumet
{

namespace
{

QString pageName(const Page &page)
{
    return page.directory.isEmpty() ? page.source : page.directory + u'/' + page.source;
}

// Fetches sources the program folder lacks, with one login for all of them, and only
// reads from the server.
class SourceFetcher
{
public:
    SourceFetcher(const PreviewJob &job, const FtpClientFactory &makeClient)
        : job_(job), makeClient_(makeClient)
    {
    }
    ~SourceFetcher()
    {
        if (ftp_ && login_.ok())
            ftp_->disconnect();
    }
    Q_DISABLE_COPY_MOVE(SourceFetcher)

    // The fetched file's path.
    Result<QString> fetch(const Page &page, int number)
    {
        if (Result<> connected = connect(); !connected)
            return failure(connected.error());
        const QString dir = remoteDirectory(page.directory);
        if (!dir.isEmpty() && dir != currentDir_) {
            if (Result<> changed = ftp_->changeDir(dir); !changed)
                return failure(changed.error());
            currentDir_ = dir;
        }
        const QString local = job_.previewFolder + QStringLiteral("/sources/%1").arg(number);
        if (!QDir().mkpath(local))
            return failure(QStringLiteral("%1 could not be created").arg(local));
        if (Result<> got = ftp_->getFile(page.source, local); !got)
            return failure(got.error());
        return local + u'/' + page.source;
    }

private:
    Result<> connect()
    {
        if (ftp_)
            return login_;
        QString reason = QStringLiteral("The connection could not be set up");
        try {
            ftp_ = makeClient_ ? makeClient_() : nullptr;
        } catch (const std::exception &e) {
            // Only the pages that need the server fail; those with local sources still show.
            reason += QStringLiteral(" (") + QString::fromLocal8Bit(e.what()) + u')';
        }
        if (!ftp_)
            return login_ = failure(reason);
        const SiteSettings &s = job_.settings;
        login_ = ftp_->connect(s.server, s.login, s.password);
        home_ = currentDir_ = ftp_->currentDirectory();
        return login_;
    }

    // As the publish run goes: relative to the login directory.
    QString remoteDirectory(const QString &directory) const
    {
        if (directory.startsWith(u'/') || home_.isEmpty())
            return directory;
        if (directory.isEmpty())
            return home_;
        return home_ + (home_.endsWith(u'/') ? QString() : QStringLiteral("/")) + directory;
    }

    const PreviewJob &job_;
    const FtpClientFactory &makeClient_;
    std::unique_ptr<FtpClient> ftp_;
    Result<> login_;
    QString home_;
    QString currentDir_;
};

Result<QByteArray> sourceOf(const Page &page, int number, const PreviewJob &job,
                            SourceFetcher &fetcher)
{
    const QString local = job.folder + u'/' + page.source;
    if (isRegularFile(local))
        return readWholeFile(local);
    const Result<QString> fetched = fetcher.fetch(page, number);
    if (!fetched)
        return failure(fetched.error());
    return readWholeFile(*fetched);
}

// The spliced page's path, nothing when the page does not show the paragraph.
Result<std::optional<QString>> previewPage(const Page &page, int number, const PreviewJob &job,
                                           SourceFetcher &fetcher)
{
    if (!isPlainFileName(page.source) || !isPlainFileName(page.target) || page.target.isEmpty())
        return failure(QStringLiteral("not a valid file name"));
    const Result<QByteArray> bytes = sourceOf(page, number, job, fetcher);
    if (!bytes)
        return failure(bytes.error());
    const SiteSettings &s = job.settings;
    const PageText source = decodePage(*bytes);
    const QString marker = s.delimiter + job.paraName + s.endDelimiter;
    if (marker.isEmpty() || !source.text.contains(marker))
        return std::optional<QString>();
    const Result<QString> filled =
        spliceParagraphs(source.text, s.delimiter, s.endDelimiter, job.paragraphs);
    if (!filled)
        return failure(filled.error());
    const QString spliced = withBaseHref(*filled, s.website, s.directory, page.directory);
    const QString dir = job.previewFolder + u'/' + QString::number(number);
    const QString path = dir + u'/' + page.target;
    if (!QDir().mkpath(dir))
        return failure(QStringLiteral("%1 could not be created").arg(dir));
    if (Result<> written = writeWholeFile(path, encodePage(spliced, source.utf8)); !written)
        return failure(written.error());
    return std::optional<QString>(path);
}

// The page's folder on the live site: its directory below the site's own.
QString sitePath(const QString &siteDirectory, QString pageDirectory)
{
    if (!siteDirectory.isEmpty() &&
        (pageDirectory == siteDirectory || pageDirectory.startsWith(siteDirectory + u'/')))
        pageDirectory.remove(0, siteDirectory.size());
    while (pageDirectory.startsWith(u'/'))
        pageDirectory.remove(0, 1);
    return pageDirectory.isEmpty() ? pageDirectory : pageDirectory + u'/';
}

} // namespace

PreviewOutcome buildPreview(PreviewJob job, const FtpClientFactory &makeClient)
{
    // As the publish run would splice them.
    for (Paragraph &para : job.paragraphs)
        para.text = trimTrailingBreaks(para.text);
    PreviewOutcome outcome;
    SourceFetcher fetcher(job, makeClient);
    for (int n = 1; n <= job.pages.size(); ++n) {
        const Page &page = job.pages[n - 1];
        const Result<std::optional<QString>> shown = previewPage(page, n, job, fetcher);
        if (!shown)
            outcome.failures.append({pageName(page), shown.error()});
        else if (*shown)
            outcome.files.append(**shown);
    }
    if (outcome.files.isEmpty() && outcome.failures.isEmpty())
        outcome.failures.append({QString(), QStringLiteral("No page holds the marker %1")
                                                .arg(job.settings.delimiter + job.paraName +
                                                     job.settings.endDelimiter)});
    return outcome;
}

QString withBaseHref(const QString &page, const QString &website, const QString &siteDirectory,
                     const QString &pageDirectory)
{
    if (website.isEmpty())
        return page;
    const QString href = website + (website.endsWith(u'/') ? QString() : QStringLiteral("/")) +
                         sitePath(siteDirectory, pageDirectory);
    const QString base = QStringLiteral("<base href=\"%1\">").arg(href.toHtmlEscaped());
    static const QRegularExpression head(QStringLiteral(R"(<head(\s[^>]*)?>)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = head.match(page);
    QString result = page;
    return result.insert(match.hasMatch() ? match.capturedEnd() : 0, base);
}

PreviewTask::PreviewTask(FtpClientFactory factory, QObject *parent)
    : QObject(parent), factory_(std::move(factory))
{
}

PreviewTask::~PreviewTask()
{
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

bool PreviewTask::start(PreviewJob job)
{
    if (thread_)
        return false;
    auto build = [this, job = std::move(job)] {
        PreviewOutcome result;
        try {
            result = buildPreview(job, factory_);
        } catch (const std::exception &e) {
            result.failures.append({QString(), QString::fromLocal8Bit(e.what())});
        } catch (...) {
            result.failures.append({QString(), QStringLiteral("Unexpected failure")});
        }
        return result;
    };
    startOnWorker(this, thread_, std::move(build), [this](PreviewOutcome result) {
        outcome_ = std::move(result);
        emit finished();
    });
    return true;
}

} // namespace vellumet

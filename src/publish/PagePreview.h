#pragma once

#include "publish/FtpClient.h"
#include "site/Catalogue.h"
#include "site/SiteSettings.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QThread;

namespace vellumet
{

// A look at the pages with texts not yet published. Nothing is uploaded and nothing in
// the program folder is written: sources the last run left there are read, any other is
// fetched into the preview folder.
struct PreviewJob {
    SiteSettings settings;
    QList<Page> pages;
    QList<Paragraph> paragraphs; // as the window holds them, unsaved edits included
    QString paraName;            // the pages whose source marks it are shown
    QString folder;              // the program folder
    QString previewFolder;
};

struct PreviewFailure {
    QString page; // empty when the failure is no single page's
    QString reason;
};

struct PreviewOutcome {
    QStringList files; // the spliced pages, in page order
    QList<PreviewFailure> failures;
};

// Splices every page whose source marks the paragraph into previewFolder/N/target, N
// being the page's number. The connection is made only when a source must be fetched.
PreviewOutcome buildPreview(PreviewJob job, const FtpClientFactory &makeClient);

// A <base href> after <head> (or at the start) that sets the page in its place on the
// live site, so its styles and pictures load; the page unchanged without an address.
QString withBaseHref(const QString &page, const QString &website, const QString &siteDirectory,
                     const QString &pageDirectory);

// Builds a preview off the UI thread, since a fetch can take as long as the server
// wants; finished arrives on the owner's thread.
class PreviewTask final : public QObject
{
    Q_OBJECT
public:
    explicit PreviewTask(FtpClientFactory factory, QObject *parent = nullptr);
    ~PreviewTask() override;

    // Refused (false) while one is being built.
    bool start(PreviewJob job);
    bool isRunning() const { return thread_ != nullptr; }
    const PreviewOutcome &outcome() const { return outcome_; }

signals:
    void finished();

private:
    FtpClientFactory factory_;
    QThread *thread_ = nullptr;
    PreviewOutcome outcome_;
};

} // namespace vellumet

#include "cli/PublishCommand.h"

#include "platform/TerminationSignals.h"
#include "publish/PublishTask.h"
#include "site/FolderLock.h"
#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <QEventLoop>

using namespace Qt::StringLiterals;

namespace vellumet
{

QString sitePassword(const SiteSettings &settings, PasswordStore &keyring)
{
    if (!settings.password.isEmpty())
        return settings.password;
    if (const QString given = qEnvironmentVariable("VELLUMET_PASSWORD"); !given.isEmpty())
        return given;
    const Result<QString> stored = storedPassword(keyring, settings);
    return stored ? *stored : QString();
}

int runPublish(const QString &folder, const FtpClientsFor &clientsFor, PasswordStore &passwords)
{
    // The same lock as the window's: a window open on the folder keeps this run out.
    FolderLock lock(folder);
    if (const Result<> taken = lock.take(); !taken) {
        writeError(u"vellumet: Vellumet is already running in "_s + folder + u": "_s +
                   taken.error());
        return 2;
    }
    const Result<QByteArray> bytes = readSiteDefinitionFile(folder);
    if (!bytes) {
        writeError(u"vellumet: vellumet.ini could not be read: "_s + bytes.error());
        return 2;
    }
    SiteDefinition site = parseSiteDefinition(*bytes);
    site.settings.password = sitePassword(site.settings, passwords);
    loadLocalCopies(site.paragraphs, folder);

    PublishTask task(clientsFor(folder));
    QEventLoop loop;
    bool failed = false;
    QObject::connect(&task, &PublishTask::lineWritten, [&failed](const QString &line) {
        failed = failed || line.startsWith(u"ERROR");
        writeOut(line);
    });
    QObject::connect(&task, &PublishTask::finished, &loop, &QEventLoop::quit);
    // Ctrl+C, a closed ssh session or a shutdown stops the run between steps, so that it
    // logs why and leaves the lock and the temporary files as a finished run does.
    TerminationSignals stopRequests;
    QObject::connect(&stopRequests, &TerminationSignals::received, &task, &PublishTask::cancel);
    if (!task.start({site.settings, site.pages, site.paragraphs, folder}))
        return 2;
    loop.exec();
    return failed ? 1 : 0;
}

} // namespace vellumet

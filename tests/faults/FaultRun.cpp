#include "FaultRun.h"

#include "publish/CurlFtpClient.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>

using namespace std::chrono_literals;

FaultRun PublishThrough(const QString &server, const QString &login, const QString &password,
                        const QStringList &pages, const QList<Paragraph> &paragraphs,
                        const QString &folder)
{
    PublishJob job;
    job.Settings.Server = server;
    job.Settings.Login = login;
    job.Settings.Password = password;
    for (const QString &line : pages) {
        const QStringList f = line.split(u'|');
        job.Pages.append({f.value(0), f.value(1), f.value(2)});
    }
    job.Paragraphs = paragraphs;
    job.Folder = folder;
    CurlFtpClient client(folder); // the program folder holds the trust file too
    client.setTimeouts(2s, 2s);
    FaultRun run;
    QElapsedTimer clock;
    clock.start();
    run.outcome = PublishSite(job, client, [&](const QString &line) { run.log.append(line); });
    run.milliseconds = clock.elapsed();
    return run;
}

QString LostText(const FaultRun &run, const QList<Paragraph> &typed, const QString &folder)
{
    if (run.outcome.Paragraphs.size() != typed.size())
        return QStringLiteral("the run gave back %1 paragraphs of %2")
            .arg(run.outcome.Paragraphs.size())
            .arg(typed.size());
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QString text = TrimTrailingBreaks(typed[i].ParaText);
        const QString name = typed[i].ParaName;
        if (run.outcome.Paragraphs[i].ParaText != text)
            return name + QStringLiteral(" came back from the run changed");
        QFile copy(LocalCopyPath(folder, name));
        const bool saved =
            copy.open(QIODevice::ReadOnly) && DecodeLocalCopy(copy.readAll()) == text;
        const QString notSaved =
            QStringLiteral("ERROR Failed to Save Local Copy %1.txt - ").arg(name);
        const bool named = std::any_of(run.log.begin(), run.log.end(), [&](const QString &line) {
            return line.startsWith(notSaved);
        });
        if (!saved && !named)
            return name + QStringLiteral(" is neither in its local copy nor named by the log");
    }
    return {};
}

QString BadEnding(const FaultRun &run, qint64 limitMilliseconds)
{
    if (run.log.isEmpty() || run.log.constLast() != QStringLiteral("Finished"))
        return QStringLiteral("the log does not end with Finished");
    if (run.log.count(QStringLiteral("Finished")) != 1)
        return QStringLiteral("Finished is written more than once");
    if (run.milliseconds > limitMilliseconds)
        return QStringLiteral("the run took %1 ms").arg(run.milliseconds);
    return {};
}

QStringList FilesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.append(path.mid(folder.size()) + QStringLiteral(": ") +
                     QString::number(it.fileInfo().size()));
    }
    files.sort();
    return files;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

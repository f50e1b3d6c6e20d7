#pragma once

#include "publish/PublishRun.h"

#include <QByteArray>
#include <QStringList>

// What the fault tests share: a small site, a publish run through CurlFtpClient with
// time-outs short enough for a test, and the checks every fault must pass whatever else
// it does.

// A large page whose template and published page have different names, and a small one
// that is its own template, in one remote folder.
namespace Bakery
{
// Large enough that a cut after 50,000 bytes falls well inside every transfer of the page.
inline const QByteArray Filler = "<!-- " + QByteArray(200000, 'x') + " -->\r\n";
inline const QByteArray IndexTemplate = "<p>@{Intro}@</p>\r\n" + Filler;
inline const QByteArray NewLivePage = "<p>Fresh bread<br>daily</p>\r\n" + Filler;
inline const QByteArray OldLivePage = "<p>Yesterday's bread</p>\r\n";
inline const QByteArray AboutTemplate = "<h1>About</h1><p>@{Intro}@</p>\r\n";
inline const QByteArray NewAboutPage = "<h1>About</h1><p>Fresh bread<br>daily</p>\r\n";
inline const QList<Paragraph> Typed{{"Intro", "Intro", QStringLiteral("Fresh bread\r\ndaily\r\n")}};
inline QStringList Pages(const QString &directory = {})
{
    return {"index.html|live.html|" + directory, "about.html|about.html|" + directory};
}
// The server's files as "path: size", as FilesBelow gives them, before and after a run
// that replaced both pages.
inline QStringList FilesBefore(const QString &folder = {})
{
    return {folder + "/about.html: " + QString::number(AboutTemplate.size()),
            folder + "/index.html: " + QString::number(IndexTemplate.size()),
            folder + "/live.html: " + QString::number(OldLivePage.size())};
}
inline QStringList FilesAfter(const QString &folder = {})
{
    return {folder + "/about.html: " + QString::number(NewAboutPage.size()),
            folder + "/index.html: " + QString::number(IndexTemplate.size()),
            folder + "/live.html: " + QString::number(NewLivePage.size())};
}
} // namespace Bakery

struct FaultRun {
    QStringList log;
    PublishOutcome outcome;
    qint64 milliseconds = 0;
};

// Pages are "source|target|directory". The stall time-out is 2 s.
FaultRun PublishThrough(const QString &server, const QString &login, const QString &password,
                        const QStringList &pages, const QList<Paragraph> &paragraphs,
                        const QString &folder);

// Empty when nothing typed is lost: every text comes back from the run as typed (trimmed),
// and is in its local copy or named by the log as not saved. Otherwise what was lost.
QString LostText(const FaultRun &run, const QList<Paragraph> &typed, const QString &folder);

// Empty when the run ended as every run must: "Finished" last and only there, within
// bounded time. Otherwise what went wrong.
QString BadEnding(const FaultRun &run, qint64 limitMilliseconds = 20000);

// Every file below folder, "name: size" with paths relative to folder, hidden files
// included, sorted; to show a test's reader what a fault left behind.
QStringList FilesBelow(const QString &folder);

QByteArray ReadFile(const QString &path);

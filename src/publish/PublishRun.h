#pragma once

#include "publish/FtpClient.h"
#include "site/Catalogue.h"
#include "site/SiteSettings.h"

#include <QString>

#include <atomic>
#include <functional>

namespace vellumet
{

// An immutable snapshot of what a publish run needs, so it can run off the UI thread.
struct PublishJob {
    SiteSettings settings;
    QList<Page> pages;
    QList<Paragraph> paragraphs;
    QString folder; // the program folder, without a trailing separator
};

struct PublishOutcome {
    QList<Paragraph> paragraphs; // texts as trimmed by the local-copy save
    // False when a text could not be written to its local copy: it then lives only in
    // memory, and the window must keep treating it as unsaved.
    bool localCopiesSaved = true;
    QString currentDir;
    QString homeDir;
    QString lastDir;
    // The server refused the login and password: a stored password is wrong.
    bool loginRefused = false;
};

// Receives each progress line, whole, as it is written.
using LogSink = std::function<void(const QString &line)>;
// Gives the password in place of settings.password; it may wait for the user. Its
// failure ends the run as a refused login would.
using PasswordSource = std::function<Result<QString>()>;

// Saves the local copies, then logs in and splices and uploads every page, reporting
// each step. Never throws; "Finished" is always the last line. Once *cancelled is true
// the run skips what is left and ends. Every line reaches log on one line: see oneLine.
// With moreClients, up to settings.connections - 1 more connections share the pages, each
// on a thread of its own; the log reads as ftp's alone would for the same outcomes, and
// log is called from any of those threads, one line at a time. askPassword, when given,
// is asked once the local copies are saved.
PublishOutcome publishSite(PublishJob job, FtpClient &ftp, const LogSink &log,
                           const std::atomic_bool *cancelled = nullptr,
                           const FtpClientFactory &moreClients = {},
                           const PasswordSource &askPassword = {});

// line with every character that could break or forge a log line made visible: CR as
// "\r", LF as "\n", tab as "\t", any other C0 control and DEL as "^" and a letter
// ("^@" for NUL, "^[" for ESC, "^?" for DEL), and the C1 controls and the Unicode line
// and paragraph separators as U+FFFD.
QString oneLine(const QString &line);

} // namespace vellumet

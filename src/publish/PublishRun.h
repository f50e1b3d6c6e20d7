#pragma once

#include "site/Catalogue.h"
#include "site/SiteSettings.h"

#include <QString>

#include <functional>

class FtpClient;

// An immutable snapshot of what a publish run needs, so it can run off the UI thread.
struct PublishJob {
    SiteSettings Settings;
    QList<Page> Pages;
    QList<Paragraph> Paragraphs;
    QString Folder; // the program folder, without a trailing separator
};

struct PublishOutcome {
    QList<Paragraph> Paragraphs; // texts as trimmed by the local-copy save
    // False when a text could not be written to its local copy: it then lives only in
    // memory, and the window must keep treating it as unsaved.
    bool LocalCopiesSaved = true;
    QString CurrentDir;
    QString HomeDir;
    QString LastDir;
};

// Receives each progress line, whole, as it is written.
using LogSink = std::function<void(const QString &line)>;

// Saves the local copies, then logs in and splices and uploads every page, reporting
// each step. Never throws; "Finished" is always the last line.
PublishOutcome PublishSite(PublishJob job, FtpClient &ftp, const LogSink &log);

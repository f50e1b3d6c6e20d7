#pragma once

#include "site/Catalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vellumet
{

// A paragraph's text lives between runs in folder/name.txt.

QString localCopyPath(const QString &folder, const QString &paraName);

// Removes one trailing Ctrl-Z or NUL, then every trailing CR LF pair.
QString trimTrailingBreaks(QString text);

// Gives every paragraph the text of its existing local copy. Copies that exist but
// cannot be read leave the text empty and are marked unreadable; their file names are
// returned.
QStringList loadLocalCopies(QList<Paragraph> &paragraphs, const QString &folder);

struct LocalCopyFailure {
    QString fileName; // name + ".txt"
    QString reason;
    // The file was deliberately kept (it could not be read and nothing was typed), so no
    // text is missing from the disk.
    bool keptOnPurpose = false;
    // The copy was written, but the text it held could not be kept as an earlier text.
    bool earlierTextLost = false;
};

// Trims every text, stores it back and writes every local copy in paragraph order; a
// copy that held a different text has that text kept as an earlier one first.
// A copy that could not be read at start-up and has not been edited is left alone.
// Each paragraph that was not written is returned.
QList<LocalCopyFailure> saveLocalCopies(QList<Paragraph> &paragraphs, const QString &folder);

} // namespace vellumet

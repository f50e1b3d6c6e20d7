#pragma once

#include "site/Catalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QSaveFile;

// A paragraph's text lives between runs in folder/ParaName.txt.

// True for an existing ordinary file; anything that cannot be tested counts as missing.
bool FileExists(const QString &path);

// A name that can be used as a file in the program folder and nowhere else: no path
// separator and no NUL. Names of local copies and page files must pass this test.
bool IsPlainFileName(const QString &name);

QString LocalCopyPath(const QString &folder, const QString &paraName);

// Removes one trailing Ctrl-Z or NUL, then every trailing CR LF pair.
QString TrimTrailingBreaks(QString text);

// Commits file only when every byte written reached the disk; otherwise cancels it, so
// the old file stays as it was. Empty on success, otherwise the reason.
QString CommitWhole(QSaveFile &file);

// No input file may make the program allocate without bound; 50 MB files still load.
inline constexpr qint64 MaxInputFileBytes = qint64(64) << 20;

// The bytes of path when it is a regular file (a link to one counts) of at most
// MaxInputFileBytes; otherwise nothing, and reason says why. A FIFO or a device is never
// opened: opening one can block for good or read without end.
std::optional<QByteArray> ReadWholeFile(const QString &path, QString *reason = nullptr);

// Writes bytes as the whole new content of path, through a temporary file in the same
// folder, so a failed write leaves the previous file as it was. Empty on success,
// otherwise the reason.
QString WriteWholeFile(const QString &path, const QByteArray &bytes);

// Gives every paragraph the text of its existing local copy. Copies that exist but
// cannot be read leave the text empty and are marked unreadable; their file names are
// returned.
QStringList LoadLocalCopies(QList<Paragraph> &paragraphs, const QString &folder);

struct LocalCopyFailure {
    QString fileName; // ParaName + ".txt"
    QString reason;
    // The file was deliberately kept (it could not be read and nothing was typed), so no
    // text is missing from the disk.
    bool keptOnPurpose = false;
};

// Trims every text, stores it back and writes every local copy in paragraph order.
// A copy that could not be read at start-up and has not been edited is left alone.
// Each paragraph that was not written is returned.
QList<LocalCopyFailure> SaveLocalCopies(QList<Paragraph> &paragraphs, const QString &folder);

#pragma once

#include "site/Result.h"

#include <QByteArray>
#include <QString>

class QSaveFile;

namespace vellumet
{

// Every file the program reads or writes is taken whole, and only when it is a regular
// file and no link: a FIFO or a device can block for good or never end, and a link can
// lead the server's bytes out of the program folder or a private file onto a page.

// No file may make the program allocate without bound; 50 MB files still load.
inline constexpr qint64 MaxFileBytes = qint64(64) << 20;

// True when value holds a C0 control character or DEL: none may go into an FTP command
// or a file name, where a line feed would end the command and start another.
bool hasControlCharacter(const QString &value);

// A name that can be used as a file in the program folder and nowhere else: no path
// separator and no control character.
bool isPlainFileName(const QString &name);

// True for an existing regular file that is not a link.
bool isRegularFile(const QString &path);

// Succeeds when path is absent or a regular file that is not a link: what may be
// (re)written.
Result<> checkWritable(const QString &path);

// The bytes of path when it is a regular file of at most maxBytes.
Result<QByteArray> readWholeFile(const QString &path, qint64 maxBytes = MaxFileBytes);

// Writes bytes as the whole new content of path, through a temporary file in the same
// folder, so a failed write leaves the previous file as it was.
Result<> writeWholeFile(const QString &path, const QByteArray &bytes);

// Commits file only when every byte written reached the disk; otherwise cancels it, so
// the old file stays as it was.
Result<> commitWhole(QSaveFile &file);

} // namespace vellumet

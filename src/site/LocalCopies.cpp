#include "site/LocalCopies.h"

#include "site/AnsiText.h"
#include "site/FolderLock.h"
#include "site/History.h"
#include "site/WholeFile.h"

#include <QFileInfo>

namespace vellumet
{

QString localCopyPath(const QString &folder, const QString &paraName)
{
    return folder + u'/' + paraName + QStringLiteral(".txt");
}

QString trimTrailingBreaks(QString text)
{
    if (text.isEmpty())
        return text;
    if (text.back() == QChar(26) || text.back() == QChar(0))
        text.chop(1);
    while (text.endsWith(u"\r\n"))
        text.chop(2);
    return text;
}

namespace
{

// The local copy's name must not be a path, nor one of the program's own files (a paragraph
// called vellumet-trust would otherwise overwrite the pins).
bool isUsableCopyName(const QString &name)
{
    return isPlainFileName(name) && !isProgramFileName(name + QStringLiteral(".txt"));
}

} // namespace

QStringList loadLocalCopies(QList<Paragraph> &paragraphs, const QString &folder)
{
    QStringList unreadable;
    for (Paragraph &para : paragraphs) {
        const QString path = localCopyPath(folder, para.name);
        const QFileInfo info(path);
        if (!isUsableCopyName(para.name) || info.isDir() || (!info.exists() && !info.isSymLink()))
            continue;
        // A link, a pipe or a device is reported and left alone, like an unreadable copy.
        const Result<QByteArray> bytes = readWholeFile(path);
        if (!bytes) {
            para.localCopyUnreadable = true;
            unreadable.append(para.name + QStringLiteral(".txt"));
            continue;
        }
        para.text = decodeLocalCopy(*bytes);
    }
    return unreadable;
}

namespace
{

Result<> keepReplacedText(const QString &folder, const Paragraph &para)
{
    const QString path = localCopyPath(folder, para.name);
    const QFileInfo info(path);
    // Nothing held, or a folder in the way, which the write reports.
    if (info.isDir() || (!info.exists() && !info.isSymLink()))
        return {};
    const Result<QByteArray> bytes = readWholeFile(path);
    if (!bytes)
        return failure(bytes.error());
    const QString held = decodeLocalCopy(*bytes);
    const QString trimmed = trimTrailingBreaks(held);
    if (trimmed.isEmpty() || trimmed == para.text)
        return {};
    return keepEarlierText(folder, para.name, held);
}

} // namespace

QList<LocalCopyFailure> saveLocalCopies(QList<Paragraph> &paragraphs, const QString &folder)
{
    QList<LocalCopyFailure> failures;
    for (Paragraph &para : paragraphs) {
        para.text = trimTrailingBreaks(para.text);
        const QString fileName = para.name + QStringLiteral(".txt");
        if (!isUsableCopyName(para.name)) {
            failures.append({fileName, QStringLiteral("not a valid file name")});
            continue;
        }
        if (para.localCopyUnreadable && para.text.isEmpty()) {
            failures.append({fileName, QStringLiteral("could not be read, left unchanged"), true});
            continue;
        }
        const Result<> kept = keepReplacedText(folder, para);
        const Result<> written =
            writeWholeFile(localCopyPath(folder, para.name), encodeLocalCopy(para.text));
        // A copy not written still holds its text: only then is an earlier text lost.
        if (!written)
            failures.append({fileName, written.error()});
        else if (!kept)
            failures.append({fileName, kept.error(), false, true});
        if (written)
            para.localCopyUnreadable = false;
    }
    return failures;
}

} // namespace vellumet

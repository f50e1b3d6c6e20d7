#include "site/LocalCopies.h"

#include "site/AnsiText.h"
#include "site/WholeFile.h"

#include <QFileInfo>

QString LocalCopyPath(const QString &folder, const QString &paraName)
{
    return folder + u'/' + paraName + QStringLiteral(".txt");
}

QString TrimTrailingBreaks(QString text)
{
    if (text.isEmpty())
        return text;
    if (text.back() == QChar(26) || text.back() == QChar(0))
        text.chop(1);
    while (text.endsWith(u"\r\n"))
        text.chop(2);
    return text;
}

QStringList LoadLocalCopies(QList<Paragraph> &paragraphs, const QString &folder)
{
    QStringList unreadable;
    for (Paragraph &para : paragraphs) {
        const QString path = LocalCopyPath(folder, para.ParaName);
        const QFileInfo info(path);
        if (!isPlainFileName(para.ParaName) || info.isDir() ||
            (!info.exists() && !info.isSymLink()))
            continue;
        // A link, a pipe or a device is reported and left alone, like an unreadable copy.
        const Result<QByteArray> bytes = readWholeFile(path);
        if (!bytes) {
            para.LocalCopyUnreadable = true;
            unreadable.append(para.ParaName + QStringLiteral(".txt"));
            continue;
        }
        para.ParaText = DecodeLocalCopy(*bytes);
    }
    return unreadable;
}

QList<LocalCopyFailure> SaveLocalCopies(QList<Paragraph> &paragraphs, const QString &folder)
{
    QList<LocalCopyFailure> failures;
    for (Paragraph &para : paragraphs) {
        para.ParaText = TrimTrailingBreaks(para.ParaText);
        const QString fileName = para.ParaName + QStringLiteral(".txt");
        if (!isPlainFileName(para.ParaName)) {
            failures.append({fileName, QStringLiteral("not a valid file name")});
            continue;
        }
        if (para.LocalCopyUnreadable && para.ParaText.isEmpty()) {
            failures.append({fileName, QStringLiteral("could not be read, left unchanged"), true});
            continue;
        }
        const Result<> written =
            writeWholeFile(LocalCopyPath(folder, para.ParaName), EncodeLocalCopy(para.ParaText));
        if (!written)
            failures.append({fileName, written.error()});
        else
            para.LocalCopyUnreadable = false;
    }
    return failures;
}

#include "site/LocalCopies.h"

#include "site/AnsiText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool FileExists(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool IsPlainFileName(const QString &name)
{
    return !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

QString CommitWhole(QSaveFile &file)
{
    // Small files wait in the write buffer until commit, whose failure to flush them (a
    // full disk) Qt 6.4 does not count: the empty file would replace the old one.
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    return file.commit() ? QString() : file.errorString();
}

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

namespace
{

std::optional<QByteArray> Refused(QString *reason, const QString &why)
{
    if (reason)
        *reason = why;
    return std::nullopt;
}

QString KindOf(const QFileInfo &info)
{
    if (!info.exists())
        return QStringLiteral("it does not exist");
    if (info.isDir())
        return QStringLiteral("it is a folder");
    return QStringLiteral("it is not a regular file (a pipe, a device or a socket)");
}

} // namespace

std::optional<QByteArray> ReadWholeFile(const QString &path, QString *reason)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return Refused(reason, KindOf(info));
    if (info.size() > MaxInputFileBytes)
        return Refused(reason,
                       QStringLiteral("it is larger than %1 MiB").arg(MaxInputFileBytes >> 20));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Refused(reason, file.errorString());
    // Bounded even if the file grew since it was looked at.
    QByteArray bytes = file.read(MaxInputFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Refused(reason, file.errorString());
    if (bytes.size() > MaxInputFileBytes)
        return Refused(reason,
                       QStringLiteral("it is larger than %1 MiB").arg(MaxInputFileBytes >> 20));
    return bytes;
}

QString WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // A short write says nothing of why; the next attempt gets the system's reason.
    for (qint64 written = 0; written < bytes.size();) {
        const qint64 now = file.write(bytes.constData() + written, bytes.size() - written);
        if (now <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        written += now;
    }
    return CommitWhole(file);
}

QStringList LoadLocalCopies(QList<Paragraph> &paragraphs, const QString &folder)
{
    QStringList unreadable;
    for (Paragraph &para : paragraphs) {
        const QString path = LocalCopyPath(folder, para.ParaName);
        if (!IsPlainFileName(para.ParaName) || !FileExists(path))
            continue;
        const std::optional<QByteArray> bytes = ReadWholeFile(path);
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
        if (!IsPlainFileName(para.ParaName)) {
            failures.append({fileName, QStringLiteral("not a valid file name")});
            continue;
        }
        if (para.LocalCopyUnreadable && para.ParaText.isEmpty()) {
            failures.append({fileName, QStringLiteral("could not be read, left unchanged"), true});
            continue;
        }
        const QString reason =
            WriteWholeFile(LocalCopyPath(folder, para.ParaName), EncodeLocalCopy(para.ParaText));
        if (!reason.isEmpty())
            failures.append({fileName, reason});
        else
            para.LocalCopyUnreadable = false;
    }
    return failures;
}

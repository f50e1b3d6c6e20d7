#include "site/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace vellumet
{

namespace
{

Failure notRegular(const QFileInfo &info)
{
    if (info.isSymLink())
        return failure(QStringLiteral("it is a link"));
    if (!info.exists())
        return failure(QStringLiteral("it does not exist"));
    if (info.isDir())
        return failure(QStringLiteral("it is a folder"));
    return failure(QStringLiteral("it is not a regular file (a pipe, a device or a socket)"));
}

Failure tooLarge(qint64 maxBytes)
{
    return failure(QStringLiteral("it is larger than %1 MiB").arg(maxBytes >> 20));
}

bool isRegular(const QFileInfo &info)
{
    return !info.isSymLink() && info.isFile();
}

} // namespace

bool hasControlCharacter(const QString &value)
{
    return std::any_of(value.cbegin(), value.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

bool isPlainFileName(const QString &name)
{
    return !name.contains(u'/') && !name.contains(u'\\') && !hasControlCharacter(name);
}

bool isRegularFile(const QString &path)
{
    return !path.isEmpty() && !path.contains(QChar(0)) && isRegular(QFileInfo(path));
}

Result<> checkWritable(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    if (!isRegular(info))
        return notRegular(info);
    return {};
}

Result<QByteArray> readWholeFile(const QString &path, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!isRegular(info))
        return notRegular(info);
    if (info.size() > maxBytes)
        return tooLarge(maxBytes);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(file.errorString());
    // Bounded even if the file grew since it was looked at.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return failure(file.errorString());
    if (bytes.size() > maxBytes)
        return tooLarge(maxBytes);
    return bytes;
}

Result<> writeWholeFile(const QString &path, const QByteArray &bytes)
{
    // QSaveFile writes through a link to wherever it points.
    if (Result<> writable = checkWritable(path); !writable)
        return writable;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    // A short write says nothing of why; the next attempt gets the system's reason.
    for (qint64 written = 0; written < bytes.size();) {
        const qint64 now = file.write(bytes.constData() + written, bytes.size() - written);
        if (now <= 0) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return failure(reason);
        }
        written += now;
    }
    return commitWhole(file);
}

Result<> commitWhole(QSaveFile &file)
{
    // Small files wait in the write buffer until commit, whose failure to flush them (a
    // full disk) Qt 6.4 does not count: the empty file would replace the old one.
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failure(reason);
    }
    if (!file.commit())
        return failure(file.errorString());
    return {};
}

} // namespace vellumet

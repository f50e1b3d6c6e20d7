#include "site/History.h"

#include "site/AnsiText.h"
#include "site/WholeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace vellumet
{

namespace
{

// Colons, which a time would want, are not allowed in Windows file names.
const QString StampFormat = QStringLiteral("yyyy-MM-dd HH-mm-ss");

struct Version {
    QString fileName;
    QString stamp;
    int counter = 1;
};

std::optional<Version> parseVersionName(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\d \d\d-\d\d-\d\d)(?: \((\d{1,6})\))?\.txt$)"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QString counter = match.captured(2);
    return Version{fileName, match.captured(1), counter.isEmpty() ? 1 : counter.toInt()};
}

QString versionName(const QString &stamp, int counter)
{
    return stamp + (counter > 1 ? QStringLiteral(" (%1)").arg(counter) : QString()) +
           QStringLiteral(".txt");
}

// Oldest first. Only regular files that are no links count; anything else in the
// folder is left alone.
QList<Version> versionsIn(const QString &dir)
{
    QList<Version> versions;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::NoSymLinks))
        if (const std::optional<Version> version = parseVersionName(name))
            versions.append(*version);
    std::sort(versions.begin(), versions.end(), [](const Version &a, const Version &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.counter < b.counter;
    });
    return versions;
}

QString historyDir(const QString &folder, const QString &paraName)
{
    return folder + QStringLiteral("/history/") + paraName;
}

bool isUsableName(const QString &paraName)
{
    return isPlainFileName(paraName) && !paraName.isEmpty() && paraName != u"." &&
           paraName != u"..";
}

// Versions are read only from real folders, never through a link.
bool isReadableHistory(const QString &folder, const QString &paraName)
{
    return isUsableName(paraName) && !QFileInfo(folder + QStringLiteral("/history")).isSymLink() &&
           !QFileInfo(historyDir(folder, paraName)).isSymLink();
}

// A real folder, made if missing; never a link, which could lead the versions anywhere.
Result<> ensureFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return failure(QStringLiteral("%1 is a link").arg(path));
    if (info.exists())
        return info.isDir() ? Result<>() : failure(QStringLiteral("%1 is not a folder").arg(path));
    if (!QDir().mkdir(path))
        return failure(QStringLiteral("%1 could not be created").arg(path));
    return {};
}

Result<QString> readVersion(const QString &dir, const Version &version)
{
    const Result<QByteArray> bytes = readWholeFile(dir + u'/' + version.fileName);
    if (!bytes)
        return failure(bytes.error());
    return decodeLocalCopy(*bytes);
}

} // namespace

Result<> keepEarlierText(const QString &folder, const QString &paraName, const QString &text,
                         const QDateTime &now)
{
    if (!isUsableName(paraName))
        return failure(QStringLiteral("not a valid folder name"));
    const QString dir = historyDir(folder, paraName);
    for (const QString &path : {folder + QStringLiteral("/history"), dir})
        if (Result<> made = ensureFolder(path); !made)
            return made;
    QList<Version> versions = versionsIn(dir);
    if (!versions.isEmpty()) {
        const Result<QString> newest = readVersion(dir, versions.last());
        if (newest && *newest == text)
            return {};
    }
    const QString stamp = now.toString(StampFormat);
    int counter = 1;
    for (const Version &version : versions)
        if (version.stamp == stamp)
            counter = std::max(counter, version.counter + 1);
    if (Result<> written =
            writeWholeFile(dir + u'/' + versionName(stamp, counter), encodeLocalCopy(text));
        !written)
        return written;
    // One that cannot be removed now goes at a later keep.
    versions = versionsIn(dir);
    for (qsizetype i = 0; i + MaxEarlierTexts < versions.size(); ++i)
        QFile::remove(dir + u'/' + versions[i].fileName);
    return {};
}

QList<EarlierText> earlierTexts(const QString &folder, const QString &paraName)
{
    QList<EarlierText> texts;
    const QString dir = historyDir(folder, paraName);
    if (!isReadableHistory(folder, paraName))
        return texts;
    const QList<Version> versions = versionsIn(dir);
    for (auto version = versions.crbegin(); version != versions.crend(); ++version)
        if (const Result<QString> text = readVersion(dir, *version))
            texts.append(
                {version->fileName, QDateTime::fromString(version->stamp, StampFormat), *text});
    return texts;
}

bool hasEarlierTexts(const QString &folder, const QString &paraName)
{
    return isReadableHistory(folder, paraName) &&
           !versionsIn(historyDir(folder, paraName)).isEmpty();
}

} // namespace vellumet

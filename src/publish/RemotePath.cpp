#include "publish/RemotePath.h"

#include "publish/FtpReplies.h"

#include <QStringList>
#include <QUrl>

namespace vellumet
{

namespace
{

QString normalised(const QString &absolute)
{
    QStringList parts;
    for (const QString &part : absolute.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (part != u".") {
            parts.append(part);
        }
    }
    return u'/' + parts.join(u'/');
}

} // namespace

QString resolveRemotePath(const QString &current, const QString &path)
{
    return normalised(path.startsWith(u'/') ? path : current + u'/' + path);
}

QString joinRemotePath(const QString &directory, const QString &path)
{
    QString joined = path.startsWith(u'/') ? QString() : directory;
    if (!path.isEmpty() || joined.isEmpty()) {
        if (!joined.endsWith(u'/') && !path.startsWith(u'/'))
            joined += u'/';
        joined += path;
    }
    return joined.startsWith(u'/') ? normalised(joined) : joined;
}

QString pageDirectoryPath(const QString &home, const QString &directory, bool leftHome)
{
    if (directory.startsWith(u'/') || !leftHome)
        return directory;
    // Sent and logged as joined; the server resolves any "." or "..".
    const bool noSeparator = home.endsWith(u'/') || (directory.isEmpty() && !home.isEmpty());
    return home + (noSeparator ? QString() : QStringLiteral("/")) + directory;
}

QString remoteFilePath(const QString &directory, const QString &name)
{
    return directory.startsWith(u'/') ? joinRemotePath(directory, name) : name;
}

bool isRemoteFileName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           isCommandArgument(name);
}

QByteArray urlPath(const QString &path)
{
    QByteArray url;
    const QStringList segments = path.split(u'/');
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0)
            url.append(i == 1 && segments[0].isEmpty() ? "%2F" : "/");
        url.append(QUrl::toPercentEncoding(segments[i]));
    }
    return url;
}

QByteArray remoteUrlPath(const QString &path, bool sftp)
{
    if (!sftp)
        return '/' + urlPath(path);
    if (path.startsWith(u'/'))
        return '/' + urlPath(path.mid(1));
    return "/~/" + urlPath(path);
}

} // namespace vellumet

#pragma once

#include <QByteArray>
#include <QString>

namespace vellumet
{

// The rules for paths on the server, in one place, so that the path a file is stored
// under and the path it is renamed from can never differ. Remote paths use "/"; an
// absolute one is kept normalised: no ".", no "..", no doubled or trailing "/".

// path taken from the directory current, always absolute. An SFTP server keeps no
// current directory, so the client resolves paths itself.
QString resolveRemotePath(const QString &current, const QString &path);

// path joined to directory with one "/" (an empty directory is the root), normalised
// when the result is absolute; an absolute path stands on its own.
QString joinRemotePath(const QString &directory, const QString &path);

// The directory the publish run asks for a page's DIRECTORY: a relative one is taken from
// the login directory home once the run has left it; before that, and when absolute, the
// server resolves it as written. Joined as written, not normalised: it is what the log
// shows and the server resolves.
QString pageDirectoryPath(const QString &home, const QString &directory, bool leftHome);

// A file of the connection's current directory: its full path when the server named that
// directory, else the bare name for the server to resolve.
QString remoteFilePath(const QString &directory, const QString &name);

// A file of the current directory, and nothing that could leave it or break out of a
// command.
bool isRemoteFileName(const QString &name);

// A remote path as a URL path: each segment percent-encoded, and a leading "/" kept
// as "%2F" so that the server sees the absolute path.
QByteArray urlPath(const QString &path);

// What follows "scheme://host:port" in the URL of a remote path: an FTP URL's path is
// taken from the login directory, an SFTP one's from the root, where "/~/" is the login
// directory.
QByteArray remoteUrlPath(const QString &path, bool sftp);

} // namespace vellumet

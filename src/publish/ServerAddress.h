#pragma once

#include "site/Result.h"

#include <QString>

namespace vellumet
{

// Where the publish run connects to, as read from the site's SERVER value. Kept apart
// from the FTP client so that every spelling a developer may write can be checked
// without a network.
struct ServerAddress {
    enum class Transport { Ftp, FtpsImplicit, FtpsExplicit, Sftp };

    Transport transport = Transport::Ftp;
    QString host; // IPv6 addresses without their brackets
    int port = 0;

    // "host:port", with IPv6 addresses in brackets, as a URL needs it.
    QString authority() const;
};

// Accepts "host", "host:port", "[IPv6]", "[IPv6]:port", a bare IPv6 address, and any of
// these behind "ftp://", "ftps://", "ftpes://" or "sftp://", with an optional trailing "/".
// Without a port, the transport's usual one applies: 21 for plain FTP and for explicit TLS
// (ftpes://), 990 for implicit TLS (ftps://), 22 for SFTP.
// Fails, with the reason, when the value cannot be used.
Result<ServerAddress> parseServerAddress(const QString &server);

// server as the log may show it: a user name and password written into it (which
// parseServerAddress refuses) replaced by "...".
QString withoutUserInformation(const QString &server);

// "ftps://" and the like, for messages.
QString schemeName(ServerAddress::Transport transport);

} // namespace vellumet

#pragma once

#include <QByteArray>
#include <QString>

namespace vellumet
{

// What Connect reports when a server cannot prove that it is the real one: what is wrong
// in plain words, and what the website developer can do about it, with the pin to copy
// into the trust file where that is the way out.

// A TLS certificate that failed verification; tlsError is libcurl's text for it and
// serverPin the server's key pin, empty when it could not be learnt.
QString certificateRefusal(const QString &host, const QByteArray &tlsError,
                           const QString &serverPin);

// A TLS or SSH key that differs from every key pinned for host.
QString changedKeyRefusal(const QString &host, const QString &serverKey);

// An SSH server whose host key nobody has pinned yet.
QString unpinnedHostKeyRefusal(const QString &host, const QString &fingerprint);

} // namespace vellumet

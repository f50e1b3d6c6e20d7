#pragma once

#include <QString>
#include <QStringList>

namespace vellumet
{

// The bundle of certificate authorities a TLS server's certificate is checked against. The
// libcurl that ships with the program looks only where its build machine keeps the bundle;
// other distributions keep theirs elsewhere.

// Where the usual Linux distributions keep the bundle, most common first.
QStringList usualAuthorityBundles();

// The first candidate that is a readable file, looked for below root (a fake root for
// tests; empty for the real one); empty when there is none.
QString firstAuthorityBundle(const QStringList &candidates, const QString &root = {});

// Why a certificate cannot be checked at all, for the host named in SERVER.
QString noAuthoritiesRefusal(const QString &host);

} // namespace vellumet

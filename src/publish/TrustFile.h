#pragma once

#include "site/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace vellumet
{

// The server keys a website developer vouches for, for servers that no known certificate
// authority vouches for. It ships beside vellumet.ini; one pin per line, as
//     ftp.example.com sha256//BASE64     (a TLS server's public key, as libcurl pins it)
//     sftp.example.com SHA256:BASE64     (an SSH host key, as OpenSSH prints it)
// with "#" starting a comment. The host may be written as in SERVER, scheme and port
// included; a host may have several pins, so that a key can be changed without a gap.
struct TrustFile {
    struct Pin {
        QString host;
        QString key; // "sha256//..." or "SHA256:..." without base64 padding
    };

    QList<Pin> pins;

    static QString fileName() { return QStringLiteral("vellumet-trust.txt"); }

    QStringList tlsPins(const QString &host) const;
    QStringList sshFingerprints(const QString &host) const;
};

// Fails on the first line that is not understood, naming it.
Result<TrustFile> parseTrustFile(const QByteArray &bytes);

// The trust file of a program folder; a missing file pins nothing and is no error.
Result<TrustFile> readTrustFile(const QString &folder);

// "sha256//" and the base64 SHA-256 digest of a DER SubjectPublicKeyInfo.
QString tlsPinOf(const QByteArray &subjectPublicKeyInfo);

// "SHA256:" and the unpadded base64 SHA-256 digest of an SSH host key blob, which is
// what "ssh-keygen -l" shows.
QString sshFingerprintOf(const QByteArray &hostKey);

// The line that pins key for host, ready to be copied into the trust file.
QString trustLine(const QString &host, const QString &key);

} // namespace vellumet

#include "publish/TrustFile.h"

#include "site/WholeFile.h"

#include "publish/ServerAddress.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace vellumet
{

namespace
{

const QLatin1StringView TlsPrefix("sha256//");
const QLatin1StringView SshPrefix("SHA256:");

// A SHA-256 digest in base64, with or without its one padding character.
bool isDigest(QByteArrayView base64)
{
    const auto decoded = QByteArray::fromBase64Encoding(base64.toByteArray(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == 32;
}

// The pin in its one spelling, or empty when text is no pin.
QString normalisedKey(const QByteArray &text)
{
    if (text.size() > TlsPrefix.size() &&
        QLatin1StringView(text.left(TlsPrefix.size())).compare(TlsPrefix, Qt::CaseInsensitive) ==
            0) {
        const QByteArray digest = text.mid(TlsPrefix.size());
        return digest.endsWith('=') && isDigest(digest) ? TlsPrefix + QLatin1StringView(digest)
                                                        : QString();
    }
    if (text.size() > SshPrefix.size() && text.startsWith(QByteArrayView(SshPrefix))) {
        QByteArray digest = text.mid(SshPrefix.size());
        if (digest.endsWith('='))
            digest.chop(1);
        return isDigest(digest) ? SshPrefix + QLatin1StringView(digest) : QString();
    }
    return {};
}

QStringList keysFor(const TrustFile &file, const QString &host, QLatin1StringView prefix)
{
    QStringList keys;
    for (const TrustFile::Pin &pin : file.pins)
        if (pin.host.compare(host, Qt::CaseInsensitive) == 0 && pin.key.startsWith(prefix))
            keys.append(pin.key);
    return keys;
}

} // namespace

QStringList TrustFile::tlsPins(const QString &host) const
{
    return keysFor(*this, host, TlsPrefix);
}

QStringList TrustFile::sshFingerprints(const QString &host) const
{
    return keysFor(*this, host, SshPrefix);
}

Result<TrustFile> parseTrustFile(const QByteArray &bytes)
{
    TrustFile file;
    // Notepad's UTF-8 files begin with a byte-order mark.
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line.truncate(hash);
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 1 && fields[0].isEmpty())
            continue;
        // A line of another shape fails as a blank server would.
        const Result<ServerAddress> address =
            parseServerAddress(fields.size() == 2 ? QString::fromUtf8(fields[0]) : QString());
        const QString key = fields.size() == 2 ? normalisedKey(fields[1]) : QString();
        if (!address || address->host.isEmpty() || key.isEmpty())
            return failure(QStringLiteral("%1, line %2, is not a host name and a key such as "
                                          "\"ftp.example.com sha256//...\" or "
                                          "\"sftp.example.com SHA256:...\"")
                               .arg(TrustFile::fileName())
                               .arg(i + 1));
        file.pins.append({address->host, key});
    }
    return file;
}

Result<TrustFile> readTrustFile(const QString &folder)
{
    if (folder.isEmpty())
        return TrustFile();
    const QString path = folder + u'/' + TrustFile::fileName();
    if (const QFileInfo info(path); !info.exists() && !info.isSymLink())
        return TrustFile();
    // A few lines a server; a pipe or an endless device must not hold up the run.
    const Result<QByteArray> bytes = readWholeFile(path, qint64(1) << 20);
    if (!bytes)
        return failure(QStringLiteral("Could not read %1 (%2)").arg(path, bytes.error()));
    return parseTrustFile(*bytes);
}

QString tlsPinOf(const QByteArray &subjectPublicKeyInfo)
{
    return TlsPrefix + QLatin1StringView(QCryptographicHash::hash(subjectPublicKeyInfo,
                                                                  QCryptographicHash::Sha256)
                                             .toBase64());
}

QString sshFingerprintOf(const QByteArray &hostKey)
{
    return SshPrefix +
           QLatin1StringView(QCryptographicHash::hash(hostKey, QCryptographicHash::Sha256)
                                 .toBase64(QByteArray::OmitTrailingEquals));
}

QString trustLine(const QString &host, const QString &key)
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u' ' + key;
}

} // namespace vellumet

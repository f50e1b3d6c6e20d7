#include "publish/CertificateAuthorities.h"

#include "publish/TrustFile.h"

#include <QFileInfo>

namespace vellumet
{

QStringList usualAuthorityBundles()
{
    return {
        QStringLiteral("/etc/ssl/certs/ca-certificates.crt"),                // Debian, Ubuntu, Arch
        QStringLiteral("/etc/pki/tls/certs/ca-bundle.crt"),                  // Fedora, RHEL
        QStringLiteral("/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem"), // Fedora, RHEL
        QStringLiteral("/etc/ssl/ca-bundle.pem"),                            // openSUSE
        QStringLiteral("/var/lib/ca-certificates/ca-bundle.pem"),            // openSUSE
        QStringLiteral("/etc/ca-certificates/extracted/tls-ca-bundle.pem"),  // Arch
        QStringLiteral("/etc/ssl/cert.pem"),                                 // Alpine, Void
    };
}

QString firstAuthorityBundle(const QStringList &candidates, const QString &root)
{
    for (const QString &candidate : candidates) {
        // Distributions link the bundle to where it is generated, so links are followed.
        const QFileInfo file(root + candidate);
        if (!candidate.isEmpty() && file.isFile() && file.isReadable() && file.size() > 0)
            return candidate;
    }
    return {};
}

QString noAuthoritiesRefusal(const QString &host)
{
    return QStringLiteral("Found no CA certificates on this computer to check the certificate "
                          "of %1, so no login was sent. Install the system's CA certificates, "
                          "or pin this server's key in %2 beside vellumet.ini")
        .arg(host, TrustFile::fileName());
}

} // namespace vellumet

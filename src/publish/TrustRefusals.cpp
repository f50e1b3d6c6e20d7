#include "publish/TrustRefusals.h"

#include "publish/TrustFile.h"

#include <array>

namespace vellumet
{

namespace
{

struct Problem {
    const char *libraryText; // as OpenSSL and libcurl word it
    const char *sentence;    // completes "The certificate of <host> "
};

// OpenSSL 1.1 writes "self signed", 3.0 "self-signed"; the more specific texts come first.
constexpr std::array<Problem, 10> Problems = {{
    {"self-signed certificate in certificate chain",
     "is signed by an authority this computer does not trust"},
    {"self signed certificate in certificate chain",
     "is signed by an authority this computer does not trust"},
    {"self-signed certificate", "is self-signed"},
    {"self signed certificate", "is self-signed"},
    {"unable to get local issuer certificate",
     "is signed by an authority this computer does not know"},
    {"unable to verify the first certificate",
     "is signed by an authority this computer does not know"},
    {"certificate has expired", "has expired"},
    {"certificate is not yet valid", "is not valid yet"},
    {"does not match target host name", "was issued for another host name"},
    {"no alternative certificate subject name matches", "was issued for another host name"},
}};

QString pinAdvice(const QString &host, const QString &pin)
{
    if (pin.isEmpty())
        return QStringLiteral("pin this server's key in %1 beside vellumet.ini")
            .arg(TrustFile::fileName());
    return QStringLiteral("pin this server's key by adding the line \"%1\" to %2 beside "
                          "vellumet.ini")
        .arg(trustLine(host, pin), TrustFile::fileName());
}

} // namespace

QString certificateRefusal(const QString &host, const QByteArray &tlsError,
                           const QString &serverPin)
{
    QString problem;
    for (const Problem &known : Problems)
        if (tlsError.contains(known.libraryText)) {
            problem = QString::fromLatin1(known.sentence);
            break;
        }
    const bool otherName = problem.contains(QStringLiteral("another host name"));
    if (problem.isEmpty())
        problem = QStringLiteral("could not be verified (%1)").arg(QString::fromUtf8(tlsError));
    const QString remedy = otherName ? QStringLiteral("Write SERVER with the host name that the "
                                                      "certificate was issued for, or ")
                           : problem == u"has expired"
                               ? QStringLiteral("Ask the host to renew it, or ")
                               : QStringLiteral("Ask the host for a certificate signed by a "
                                                "known authority, or ");
    return QStringLiteral("The certificate of %1 %2, so the connection was not trusted and "
                          "no login was sent. ")
               .arg(host, problem) +
           remedy + pinAdvice(host, serverPin);
}

QString changedKeyRefusal(const QString &host, const QString &serverKey)
{
    const bool ssh = serverKey.startsWith(QStringLiteral("SHA256:"));
    QString text = QStringLiteral("The %1 of %2 is not the one pinned in %3: the host has "
                                  "changed it, or someone is intercepting the connection. No "
                                  "login was sent.")
                       .arg(ssh ? QStringLiteral("SSH host key") : QStringLiteral("key"), host,
                            TrustFile::fileName());
    if (!serverKey.isEmpty())
        text += QStringLiteral(" If the host confirms a new key, replace the pin with \"%1\"")
                    .arg(trustLine(host, serverKey));
    return text;
}

QString unpinnedHostKeyRefusal(const QString &host, const QString &fingerprint)
{
    return QStringLiteral("The SSH host key of %1 is not pinned, so the connection was not "
                          "trusted and no login was sent. Ask the host whether its key "
                          "fingerprint is %2; if so, add the line \"%3\" to %4 beside "
                          "vellumet.ini")
        .arg(host, fingerprint, trustLine(host, fingerprint), TrustFile::fileName());
}

} // namespace vellumet

#include "TestCertificates.h"

#include <QProcess>

QString TestCertificates::name(Kind kind)
{
    switch (kind) {
    case Kind::Trusted:
        return QStringLiteral("trusted");
    case Kind::OtherName:
        return QStringLiteral("other-name");
    case Kind::Expired:
        return QStringLiteral("expired");
    case Kind::SelfSigned:
        return QStringLiteral("self-signed");
    }
    return {};
}

bool TestCertificates::make()
{
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder for the certificates");
        return false;
    }
    QProcess maker;
    // Debian's python3-cryptography is seen only by the system's interpreter.
    maker.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(VELLUMET_MAKE_TEST_CERTIFICATES), QStringLiteral("--dir"), dir_.path()});
    if (!maker.waitForFinished(30000) || maker.exitCode() != 0) {
        error_ = QStringLiteral("the test certificates were not made: ") +
                 QString::fromUtf8(maker.readAllStandardError());
        return false;
    }
    for (const QByteArray &line : maker.readAllStandardOutput().split('\n'))
        if (const QList<QByteArray> fields = line.split(' '); fields.size() == 2)
            pins_.insert(QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]));
    return true;
}

QString TestCertificates::authority() const
{
    return dir_.filePath(QStringLiteral("authority.pem"));
}

QString TestCertificates::certificate(Kind kind) const
{
    return dir_.filePath(name(kind) + QStringLiteral(".pem"));
}

QString TestCertificates::key(Kind kind) const
{
    return dir_.filePath(name(kind) + QStringLiteral(".key"));
}

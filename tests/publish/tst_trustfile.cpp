#include "publish/CurlTransport.h"
#include "publish/TrustFile.h"
#include "publish/TrustRefusals.h"

#include <QTest>

namespace
{

const QString TlsPin = QStringLiteral("sha256//coMMuF+lQ7yq+7c3jJtrItiTNfGRj6AYyGehvIBdeto=");
const QString SshKey = QStringLiteral("SHA256:kGfyAW6uhPIDwv645z5jnaVKbDycXOfunbGbn5KkUBs");

// "host key" per pin, in file order.
QStringList Pins(const TrustFile &file)
{
    QStringList pins;
    for (const TrustFile::Pin &pin : file.pins)
        pins.append(pin.host + u' ' + pin.key);
    return pins;
}

} // namespace

class TestTrustFile : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void keysOfOneHost();
    void certificateRefusal_data();
    void certificateRefusal();
    void resolveRemotePath_data();
    void resolveRemotePath();
};

void TestTrustFile::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("pins");
    QTest::addColumn<QString>("error"); // empty when the file is understood

    const QByteArray tls = TlsPin.toLatin1();
    const QByteArray ssh = SshKey.toLatin1();
    QTest::newRow("empty") << QByteArray() << QStringList() << QString();
    QTest::newRow("comments and blank lines")
        << "# keys of our hosts\r\n\r\n   \t\r\nftp.example.com " + tls + "  # since May\r\n"
        << QStringList{"ftp.example.com " + TlsPin} << QString();
    QTest::newRow("byte-order mark, tabs, no last line end")
        << "\xEF\xBB\xBF"
           "ftp.example.com\t" +
               tls
        << QStringList{"ftp.example.com " + TlsPin} << QString();
    QTest::newRow("host written as in SERVER")
        << "ftps://FTP.Example.com:990/ " + tls + "\nsftp://[2001:db8::1]:2222 " + ssh + "\n"
        << QStringList{"FTP.Example.com " + TlsPin, "2001:db8::1 " + SshKey} << QString();
    QTest::newRow("TLS prefix in capitals, SSH digest padded")
        << "a.example SHA256//" + tls.mid(8) + "\nb.example " + ssh + "=\n"
        << QStringList{"a.example " + TlsPin, "b.example " + SshKey} << QString();
    QTest::newRow("a later line not understood")
        << "a.example " + tls + "\n\nb.example\n"
        << QStringList()
        << "vellumet-trust.txt, line 3, is not a host name and a key such as "
           "\"ftp.example.com sha256//...\" or \"sftp.example.com SHA256:...\"";
    QTest::newRow("TLS pin cut short")
        << "a.example " + tls.chopped(2) << QStringList() << "vellumet-trust.txt, line 1";
    QTest::newRow("TLS pin of another digest")
        << "a.example sha256//" + QByteArray(20, 'A').toBase64() << QStringList()
        << "vellumet-trust.txt, line 1";
    QTest::newRow("SSH key with the TLS prefix spelling")
        << "a.example sha256:" + ssh.mid(7) << QStringList() << "vellumet-trust.txt, line 1";
    QTest::newRow("MD5 fingerprint")
        << QByteArray("a.example MD5:12:34:56") << QStringList() << "vellumet-trust.txt, line 1";
    QTest::newRow("key without host") << tls << QStringList() << "vellumet-trust.txt, line 1";
    QTest::newRow("three fields") << "a.example " + tls + " " + tls << QStringList()
                                  << "vellumet-trust.txt, line 1";
    QTest::newRow("host that is no host")
        << "a..example " + tls << QStringList() << "vellumet-trust.txt, line 1";
}

void TestTrustFile::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, pins);
    QFETCH(QString, error);

    const TrustFile file = ParseTrustFile(bytes);
    QCOMPARE(Pins(file), pins);
    if (error.isEmpty())
        QCOMPARE(file.error, QString());
    else
        QVERIFY2(file.error.startsWith(error), qPrintable(file.error));
}

// A host's TLS pins and SSH keys are told apart, host names match in any letter case, and
// every pin of the host counts, so a key can be replaced without a gap.
void TestTrustFile::keysOfOneHost()
{
    const QString otherTls = TlsPin.left(8) + QString(TlsPin.mid(8)).replace(u'c', u'd');
    const TrustFile file =
        ParseTrustFile(("example.com " + TlsPin + "\nEXAMPLE.com " + SshKey + "\nother.example " +
                        SshKey + "\nexample.com " + otherTls + "\n")
                           .toLatin1());
    QCOMPARE(file.error, QString());
    QCOMPARE(file.tlsPins(QStringLiteral("Example.COM")), (QStringList{TlsPin, otherTls}));
    QCOMPARE(file.sshFingerprints(QStringLiteral("example.com")), QStringList{SshKey});
    QCOMPARE(file.tlsPins(QStringLiteral("ftp.example.com")), QStringList());
}

void TestTrustFile::certificateRefusal_data()
{
    QTest::addColumn<QByteArray>("libcurlText");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("remedy");

    const QString knownAuthority = QStringLiteral("Ask the host for a certificate signed by a "
                                                  "known authority, or pin");
    const QString otherName = QStringLiteral("Write SERVER with the host name that the "
                                             "certificate was issued for, or pin");
    QTest::newRow("self-signed, OpenSSL 3")
        << QByteArray("SSL certificate problem: self-signed certificate") << "is self-signed"
        << knownAuthority;
    QTest::newRow("self-signed, OpenSSL 1.1")
        << QByteArray("SSL certificate problem: self signed certificate") << "is self-signed"
        << knownAuthority;
    QTest::newRow("private authority in the chain")
        << QByteArray("SSL certificate problem: self-signed certificate in certificate chain")
        << "is signed by an authority this computer does not trust" << knownAuthority;
    QTest::newRow("unknown authority")
        << QByteArray("SSL certificate problem: unable to get local issuer certificate")
        << "is signed by an authority this computer does not know" << knownAuthority;
    QTest::newRow("expired") << QByteArray("SSL certificate problem: certificate has expired")
                             << "has expired"
                             << "Ask the host to renew it, or pin";
    QTest::newRow("not valid yet")
        << QByteArray("SSL certificate problem: certificate is not yet valid") << "is not valid yet"
        << knownAuthority;
    QTest::newRow("other name in the subject")
        << QByteArray("SSL: certificate subject name 'www.host.example' does not match target "
                      "host name 'ftp.site.example'")
        << "was issued for another host name" << otherName;
    QTest::newRow("other names in the alternatives")
        << QByteArray("SSL: no alternative certificate subject name matches target host name "
                      "'ftp.site.example'")
        << "was issued for another host name" << otherName;
    QTest::newRow("anything else, in libcurl's words")
        << QByteArray("SSL certificate problem: certificate signature failure")
        << "could not be verified (SSL certificate problem: certificate signature failure)"
        << knownAuthority;
}

void TestTrustFile::certificateRefusal()
{
    QFETCH(QByteArray, libcurlText);
    QFETCH(QString, problem);
    QFETCH(QString, remedy);

    const QString pinned =
        CertificateRefusal(QStringLiteral("ftp.site.example"), libcurlText, TlsPin);
    QCOMPARE(pinned, QStringLiteral("The certificate of ftp.site.example %1, so the connection "
                                    "was not trusted and no login was sent. %2 this server's "
                                    "key by adding the line \"ftp.site.example %3\" to "
                                    "vellumet-trust.txt beside vellumet.ini")
                         .arg(problem, remedy, TlsPin));
    // Where libcurl does not hand over OpenSSL's context the pin is not known.
    QVERIFY(CertificateRefusal(QStringLiteral("ftp.site.example"), libcurlText, QString())
                .endsWith(QStringLiteral("pin this server's key in vellumet-trust.txt beside "
                                         "vellumet.ini")));
}

void TestTrustFile::resolveRemotePath_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("resolved");

    QTest::newRow("relative") << "/home/site"
                              << "public"
                              << "/home/site/public";
    QTest::newRow("absolute") << "/home/site"
                              << "/pub/news"
                              << "/pub/news";
    QTest::newRow("from the root") << "/"
                                   << "public"
                                   << "/public";
    QTest::newRow("dots and doubled slashes") << "/home/site"
                                              << "./public//img/../css/"
                                              << "/home/site/public/css";
    QTest::newRow("up past the root") << "/home"
                                      << "../../.."
                                      << "/";
    QTest::newRow("names with spaces and dots kept") << "/a b"
                                                     << "...x/.y"
                                                     << "/a b/...x/.y";
}

void TestTrustFile::resolveRemotePath()
{
    QFETCH(QString, current);
    QFETCH(QString, path);
    QFETCH(QString, resolved);

    QCOMPARE(ResolveRemotePath(current, path), resolved);
}

QTEST_GUILESS_MAIN(TestTrustFile)
#include "tst_trustfile.moc"

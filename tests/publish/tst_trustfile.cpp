#include "publish/CurlTransport.h"
#include "publish/TrustFile.h"
#include "publish/TrustRefusals.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const QByteArray Tls = "sha256//coMMuF+lQ7yq+7c3jJtrItiTNfGRj6AYyGehvIBdeto=";
const QByteArray Ssh = "SHA256:kGfyAW6uhPIDwv645z5jnaVKbDycXOfunbGbn5KkUBs";

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
    QTest::addColumn<QByteArray>("pins"); // "host key" lines, or the start of the error

    const QByteArray line1 = "vellumet-trust.txt, line 1, is not a host name and a key";
    QTest::newRow("comments, blank lines, mark, tabs")
        << "\xEF\xBB\xBF# ours\r\n\r\n \t\r\na.example\t" + Tls + " # since May"
        << "a.example " + Tls;
    QTest::newRow("host as in SERVER; TLS prefix in capitals; SSH padded")
        << "ftps://A.example:990/ SHA256//" + Tls.mid(8) + "\nsftp://[::1]:22 " + Ssh + "=\n"
        << "A.example " + Tls + "\n::1 " + Ssh;
    QTest::newRow("a later line not understood") << "a.example " + Tls + "\n\nb.example\n"
                                                 << "vellumet-trust.txt, line 3"_ba;
    QTest::newRow("TLS pin cut short") << "a.example " + Tls.chopped(2) << line1;
    QTest::newRow("digest of another size")
        << "a.example sha256//" + QByteArray(20, 'A').toBase64() << line1;
    QTest::newRow("SSH key in the TLS spelling") << "a.example sha256:" + Ssh.mid(7) << line1;
    QTest::newRow("key without host") << Tls << line1;
    QTest::newRow("three fields") << "a.example " + Tls + " " + Tls << line1;
    QTest::newRow("host that is no host") << "a..example " + Tls << line1;
}

void TestTrustFile::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, pins);
    const TrustFile file = ParseTrustFile(bytes);
    QStringList lines;
    for (const TrustFile::Pin &pin : file.pins)
        lines.append(pin.host + u' ' + pin.key);
    const QString got = file.error.isEmpty() ? lines.join(u'\n') : file.error;
    QVERIFY2(file.error.isEmpty() ? got == QLatin1StringView(pins)
                                  : got.startsWith(QLatin1StringView(pins)),
             qPrintable(got));
    QVERIFY(file.error.isEmpty() != file.pins.isEmpty());
}

// TLS pins and SSH keys are told apart, host names match in any letter case, and every
// pin of a host counts, so that a key can be replaced without a gap.
void TestTrustFile::keysOfOneHost()
{
    const QByteArray other = Tls.left(8) + QByteArray(Tls.mid(8)).replace('c', 'd');
    const TrustFile file = ParseTrustFile("a.example " + Tls + "\nA.example " + Ssh +
                                          "\nb.example " + Ssh + "\na.example " + other);
    QCOMPARE(file.tlsPins(u"a.EXAMPLE"_s),
             QStringList({QString::fromLatin1(Tls), QString::fromLatin1(other)}));
    QCOMPARE(file.sshFingerprints(u"a.example"_s), QStringList{QString::fromLatin1(Ssh)});
    QCOMPARE(file.tlsPins(u"ftp.a.example"_s), QStringList());
}

void TestTrustFile::certificateRefusal_data()
{
    QTest::addColumn<QByteArray>("libcurlText");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("remedy");

    const QString authority = u"Ask the host for a certificate signed by a known authority, or"_s;
    QTest::newRow("self-signed") << "SSL certificate problem: self signed certificate"_ba
                                 << u"is self-signed"_s << authority;
    QTest::newRow("private authority in the chain, not self-signed")
        << "SSL certificate problem: self-signed certificate in certificate chain"_ba
        << u"is signed by an authority this computer does not trust"_s << authority;
    QTest::newRow("expired") << "SSL certificate problem: certificate has expired"_ba
                             << u"has expired"_s << u"Ask the host to renew it, or"_s;
    QTest::newRow("other name")
        << "SSL: no alternative certificate subject name matches"_ba
        << u"was issued for another host name"_s
        << u"Write SERVER with the host name that the certificate was issued for, or"_s;
    QTest::newRow("anything else, in libcurl's words")
        << "SSL: odd"_ba << u"could not be verified (SSL: odd)"_s << authority;
}

void TestTrustFile::certificateRefusal()
{
    QFETCH(QByteArray, libcurlText);
    QFETCH(QString, problem);
    QFETCH(QString, remedy);
    const QString pin = QString::fromLatin1(Tls);
    QCOMPARE(CertificateRefusal(u"h.example"_s, libcurlText, pin),
             u"The certificate of h.example %1, so the connection was not trusted and no login "
             "was sent. %2 pin this server's key by adding the line \"h.example %3\" to "
             "vellumet-trust.txt beside vellumet.ini"_s.arg(problem, remedy, pin));
    // Where libcurl does not hand over OpenSSL's context the pin is not known.
    QVERIFY(CertificateRefusal(u"h.example"_s, libcurlText, QString())
                .endsWith(u"pin this server's key in vellumet-trust.txt beside vellumet.ini"_s));
}

void TestTrustFile::resolveRemotePath_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("absolute") << u"/home/site"_s << u"/pub/news"_s << u"/pub/news"_s;
    QTest::newRow("dots and doubled slashes")
        << u"/home/site"_s << u"./public//img/../css/"_s << u"/home/site/public/css"_s;
    QTest::newRow("up past the root") << u"/"_s << u"../../a"_s << u"/a"_s;
    QTest::newRow("names with dots kept") << u"/a b"_s << u"...x/.y"_s << u"/a b/...x/.y"_s;
}

void TestTrustFile::resolveRemotePath()
{
    QFETCH(QString, current);
    QFETCH(QString, path);
    QTEST(ResolveRemotePath(current, path), "resolved");
}

QTEST_GUILESS_MAIN(TestTrustFile)
#include "tst_trustfile.moc"

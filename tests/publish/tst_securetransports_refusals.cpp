#include "FtpTestServer.h"
#include "SshTestServer.h"
#include "TestCertificates.h"
#include "TestSystemUser.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace std::chrono_literals;
using Kind = TestCertificates::Kind;
Q_DECLARE_METATYPE(TestCertificates::Kind)

namespace
{

// A well-formed SSH fingerprint of no key the test server has.
const QString OtherFingerprint =
    QStringLiteral("SHA256:") +
    QString::fromLatin1(QByteArray(32, '\x5A').toBase64(QByteArray::OmitTrailingEquals));

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "..." in expected stands for any text, such as OpenSSL's own words.
bool Matches(const QString &actual, const QString &expected)
{
    const QString pattern = QRegularExpression::escape(expected).replace(
        QRegularExpression::escape(QStringLiteral("...")), QStringLiteral(".*"));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern))
        .match(actual)
        .hasMatch();
}

} // namespace

class TestSecureTransportRefusals : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { curl_global_cleanup(); }
    void refused_data();
    void refused();

private:
    TestCertificates certificates_;
};

void TestSecureTransportRefusals::initTestCase()
{
    QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    QVERIFY2(certificates_.make(), qPrintable(certificates_.errorString()));
}

void TestSecureTransportRefusals::refused_data()
{
    QTest::addColumn<QString>("server"); // "explicit TLS", "implicit TLS", "plain" or "SSH"
    QTest::addColumn<Kind>("certificate");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("trustFile"); // none when empty
    QTest::addColumn<bool>("authority");       // the test's authority instead of the system's
    // The ERROR line's reason; %pin and %fp stand for the server's TLS pin and SSH
    // fingerprint, %other for another pin, %port for the server's port.
    QTest::addColumn<QString>("error");

    const QString pinAdvice = QStringLiteral("pin this server's key by adding the line "
                                             "\"127.0.0.1 %pin\" to vellumet-trust.txt beside "
                                             "vellumet.ini");
    const QString notTrusted = QStringLiteral(", so the connection was not trusted and no login "
                                              "was sent. ");
    const QString changed = QStringLiteral(" of 127.0.0.1 is not the one pinned in "
                                           "vellumet-trust.txt: the host has changed it, or "
                                           "someone is intercepting the connection. No login "
                                           "was sent. If the host confirms a new key, replace "
                                           "the pin with ");

    QTest::newRow("self-signed certificate, nothing pinned")
        << "explicit TLS" << Kind::SelfSigned << "ftpes://" << QByteArray() << false
        << "The certificate of 127.0.0.1 is self-signed" + notTrusted +
               "Ask the host for a certificate signed by a known authority, or " + pinAdvice;
    QTest::newRow("certificate of an unknown authority, implicit TLS")
        << "implicit TLS" << Kind::Trusted << "ftps://" << QByteArray() << false
        << "The certificate of 127.0.0.1 is signed by an authority this computer does not know" +
               notTrusted + "Ask the host for a certificate signed by a known authority, or " +
               pinAdvice;
    QTest::newRow("certificate for another host name")
        << "explicit TLS" << Kind::OtherName << "ftpes://" << QByteArray() << true
        << "The certificate of 127.0.0.1 was issued for another host name" + notTrusted +
               "Write SERVER with the host name that the certificate was issued for, or " +
               pinAdvice;
    QTest::newRow("expired certificate")
        << "explicit TLS" << Kind::Expired << "ftpes://" << QByteArray() << true
        << "The certificate of 127.0.0.1 has expired" + notTrusted +
               "Ask the host to renew it, "
               "or " +
               pinAdvice;
    QTest::newRow("pinned key changed, though an authority signed the new one")
        << "explicit TLS" << Kind::Trusted << "ftpes://" << QByteArray("127.0.0.1 %other\n") << true
        << "The key" + changed + "\"127.0.0.1 %pin\"";
    QTest::newRow("pinned key changed, implicit TLS")
        << "implicit TLS" << Kind::SelfSigned << "ftps://"
        << QByteArray("# our host\r\nftps://127.0.0.1 %other\r\n") << false
        << "The key" + changed + "\"127.0.0.1 %pin\"";
    QTest::newRow("explicit TLS, server without TLS")
        << "plain" << Kind::Trusted << "ftpes://" << QByteArray() << false
        << "The server 127.0.0.1 does not offer encryption (it refused AUTH TLS), so no login "
           "was sent. Ask the host whether it offers FTPS; write SERVER without ftpes:// only "
           "if an unencrypted connection will do";
    QTest::newRow("implicit TLS, server without TLS")
        << "plain" << Kind::Trusted << "ftps://" << QByteArray() << false
        << "Could not set up an encrypted connection with 127.0.0.1 (...). Check that the server "
           "offers implicit TLS on port %port; for explicit TLS (AUTH TLS) write ftpes://";
    QTest::newRow("SSH host key not pinned")
        << "SSH" << Kind::Trusted << "sftp://" << QByteArray() << false
        << "The SSH host key of 127.0.0.1 is not pinned" + notTrusted +
               "Ask the host whether its key fingerprint is %fp; if so, add the line "
               "\"127.0.0.1 %fp\" to vellumet-trust.txt beside vellumet.ini";
    QTest::newRow("SSH host key changed")
        << "SSH" << Kind::Trusted << "sftp://" << ("127.0.0.1 " + OtherFingerprint.toLatin1())
        << false << "The SSH host key" + changed + "\"127.0.0.1 %fp\"";
    QTest::newRow("trust file not understood")
        << "explicit TLS" << Kind::Trusted << "ftpes://" << QByteArray("127.0.0.1 sha256//abc\n")
        << true
        << "vellumet-trust.txt, line 1, is not a host name and a key such as "
           "\"ftp.example.com sha256//...\" or \"sftp.example.com SHA256:...\"";
}

// A server that cannot prove it is the real one, or will not encrypt, gets neither the
// login name nor the password, nothing is fetched or put, and the ERROR line says why and
// what the website developer can do.
void TestSecureTransportRefusals::refused()
{
    QFETCH(QString, server);
    QFETCH(Kind, certificate);
    QFETCH(QString, scheme);
    QFETCH(QByteArray, trustFile);
    QFETCH(bool, authority);
    QFETCH(QString, error);

    FtpTestServer ftp;
    SshTestServer ssh;
    QString address;
    if (server == u"SSH") {
        if (!TestSystemUser::canBeMade())
            QSKIP("sshd needs a system user, and making one needs root");
        QVERIFY2(ssh.start(), qPrintable(ssh.errorString()));
        QVERIFY(ssh.writeFile(QStringLiteral("/site/a.html"), "@{Intro}@"));
        address = ssh.address();
    } else {
        FtpTestServer::Options options;
        if (server != u"plain") {
            options.tlsCertificate = certificates_.certificate(certificate);
            options.tlsKey = certificates_.key(certificate);
            options.implicitTls = server == u"implicit TLS";
        }
        QVERIFY2(ftp.start(options), qPrintable(ftp.errorString()));
        QVERIFY(ftp.writeFile(QStringLiteral("/a.html"), "@{Intro}@"));
        address = ftp.address();
    }
    QTemporaryDir folder;
    trustFile.replace("%other", certificates_.pin(Kind::OtherName).toLatin1());
    if (!trustFile.isEmpty())
        QVERIFY(WriteFile(folder.filePath(QStringLiteral("vellumet-trust.txt")), trustFile));

    PublishJob job;
    job.Settings.Server = scheme + address;
    job.Settings.Login = server == u"SSH" ? TestSystemUser::name() : FtpTestServer::user();
    job.Settings.Password =
        server == u"SSH" ? TestSystemUser::password() : FtpTestServer::password();
    job.Pages = {{"a.html", "a.html", ""}};
    job.Paragraphs = {{"Intro", "Intro", "Hi"}};
    job.Folder = folder.path();
    QStringList log;
    {
        CurlFtpClient client(folder.path());
        client.setTimeouts(5s, 5s);
        if (authority)
            client.setCertificateAuthorities(certificates_.authority());
        PublishSite(job, client, [&](const QString &line) { log.append(line); });
    }

    error.replace(QStringLiteral("%pin"), certificates_.pin(certificate))
        .replace(QStringLiteral("%fp"), ssh.fingerprint())
        .replace(QStringLiteral("%port"), address.section(u':', 1));
    QCOMPARE(log.size(), 4);
    QCOMPARE(log.mid(0, 2),
             (QStringList{"Saving local copy", "Connecting to Server " + job.Settings.Server}));
    QVERIFY2(Matches(log[2], "ERROR " + error + " - Failed to connect to Server"),
             qPrintable(log[2]));
    QCOMPARE(log[3], QStringLiteral("Finished"));

    if (server == u"SSH") {
        QCOMPARE(ssh.connections(), 1); // refused by the client, not unreached
        QCOMPARE(ssh.passwordsChecked(), 0);
        QCOMPARE(ssh.readFile(QStringLiteral("/site/a.html")), QByteArray("@{Intro}@"));
    } else {
        for (const QString &command : ftp.commands())
            QVERIFY2(!command.startsWith(u"USER") && !command.startsWith(u"PASS"),
                     qPrintable(command));
        QCOMPARE(ftp.readFile(QStringLiteral("/a.html")), QByteArray("@{Intro}@"));
    }
    const QStringList expectedFiles = trustFile.isEmpty()
                                          ? QStringList{"Intro.txt"}
                                          : QStringList{"Intro.txt", "vellumet-trust.txt"};
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), expectedFiles);
}

QTEST_GUILESS_MAIN(TestSecureTransportRefusals)
#include "tst_securetransports_refusals.moc"

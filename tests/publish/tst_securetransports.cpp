#include "FtpTestServer.h"
#include "RecordingProxy.h"
#include "SshTestServer.h"
#include "TestCertificates.h"
#include "TestSystemUser.h"
#include "VsftpdTestServer.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

#include <variant>

using namespace std::chrono_literals;
using Kind = TestCertificates::Kind;

namespace
{

enum class Server { PyftpdlibExplicit, PyftpdlibImplicit, VsftpdExplicit, VsftpdImplicit, Sftp };
// How the client comes to trust the server: the product's way, a key pinned in the trust
// file beside vellumet.ini, or the test's throwaway authority in place of the system's.
enum class Trust { PinnedKey, Authority };

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString Join(const QString &directory, const QString &name)
{
    return directory.endsWith(u'/') ? directory + name : directory + u'/' + name;
}

// One of the servers, started for one test, whichever it is.
class AnyServer
{
public:
    static bool needsSystemUser(Server server)
    {
        return server != Server::PyftpdlibExplicit && server != Server::PyftpdlibImplicit;
    }
    bool start(Server server, const TestCertificates &certificates);
    QString error() const { return error_; }
    QString scheme() const;
    QString address() const;
    QString home() const; // where a login lands
    QString login() const;
    QString password() const;
    // The key that the trust file pins for this server.
    QString pin(const TestCertificates &certificates) const;
    bool writeFile(const QString &path, const QByteArray &bytes);
    QByteArray readFile(const QString &path) const;
    int connections() const;
    // The commands up to the first one after the login, as the server saw them.
    QStringList loginCommands() const;

private:
    Server kind_ = Server::PyftpdlibExplicit;
    std::variant<std::monostate, FtpTestServer, VsftpdTestServer, SshTestServer> server_;
    QString error_;
};

bool AnyServer::start(Server server, const TestCertificates &certificates)
{
    kind_ = server;
    const QString certificate = certificates.certificate(Kind::Trusted);
    const QString key = certificates.key(Kind::Trusted);
    const bool implicit = server == Server::PyftpdlibImplicit || server == Server::VsftpdImplicit;
    switch (server) {
    case Server::PyftpdlibExplicit:
    case Server::PyftpdlibImplicit: {
        auto &ftp = server_.emplace<FtpTestServer>();
        FtpTestServer::Options options =
            FtpTestServer::Options::startingIn(QStringLiteral("/site"));
        options.tlsCertificate = certificate;
        options.tlsKey = key;
        options.implicitTls = implicit;
        return ftp.start(options) || (error_ = ftp.errorString(), false);
    }
    case Server::VsftpdExplicit:
    case Server::VsftpdImplicit: {
        auto &vsftpd = server_.emplace<VsftpdTestServer>();
        return vsftpd.start({certificate, key, implicit}) || (error_ = vsftpd.errorString(), false);
    }
    case Server::Sftp: {
        auto &ssh = server_.emplace<SshTestServer>();
        return ssh.start(QStringLiteral("/site")) || (error_ = ssh.errorString(), false);
    }
    }
    return false;
}

QString AnyServer::scheme() const
{
    switch (kind_) {
    case Server::PyftpdlibExplicit:
    case Server::VsftpdExplicit:
        return QStringLiteral("ftpes://");
    case Server::PyftpdlibImplicit:
    case Server::VsftpdImplicit:
        return QStringLiteral("ftps://");
    case Server::Sftp:
        return QStringLiteral("sftp://");
    }
    return {};
}

QString AnyServer::address() const
{
    return std::visit(
        [](const auto &s) {
            if constexpr (std::is_same_v<std::decay_t<decltype(s)>, std::monostate>)
                return QString();
            else
                return s.address();
        },
        server_);
}

QString AnyServer::home() const
{
    return std::holds_alternative<VsftpdTestServer>(server_) ? QStringLiteral("/")
                                                             : QStringLiteral("/site");
}

QString AnyServer::login() const
{
    return std::holds_alternative<FtpTestServer>(server_) ? FtpTestServer::user()
                                                          : TestSystemUser::name();
}

QString AnyServer::password() const
{
    return std::holds_alternative<FtpTestServer>(server_) ? FtpTestServer::password()
                                                          : TestSystemUser::password();
}

QString AnyServer::pin(const TestCertificates &certificates) const
{
    if (const auto *ssh = std::get_if<SshTestServer>(&server_))
        return ssh->fingerprint();
    return certificates.pin(Kind::Trusted);
}

bool AnyServer::writeFile(const QString &path, const QByteArray &bytes)
{
    return std::visit(
        [&](auto &s) {
            if constexpr (std::is_same_v<std::decay_t<decltype(s)>, std::monostate>)
                return false;
            else
                return s.writeFile(path, bytes);
        },
        server_);
}

QByteArray AnyServer::readFile(const QString &path) const
{
    return std::visit(
        [&](const auto &s) {
            if constexpr (std::is_same_v<std::decay_t<decltype(s)>, std::monostate>)
                return QByteArray();
            else
                return s.readFile(path);
        },
        server_);
}

int AnyServer::connections() const
{
    return std::visit(
        [](const auto &s) {
            if constexpr (std::is_same_v<std::decay_t<decltype(s)>, std::monostate>)
                return 0;
            else
                return s.connections();
        },
        server_);
}

QStringList AnyServer::loginCommands() const
{
    QStringList commands;
    if (const auto *ftp = std::get_if<FtpTestServer>(&server_))
        commands = ftp->commands();
    else if (const auto *vsftpd = std::get_if<VsftpdTestServer>(&server_))
        commands = vsftpd->commands();
    const qsizetype pwd = commands.indexOf(QStringLiteral("PWD"));
    return commands.mid(0, pwd + 1);
}

const QByteArray IndexPage =
    "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>@{Intro}@</p>\r\n";
const QByteArray AboutPage = "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n";
const QByteArray NewsPage = "<p>@{Hours}@</p>\n";

} // namespace

Q_DECLARE_METATYPE(Server)
Q_DECLARE_METATYPE(Trust)

class TestSecureTransports : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { curl_global_cleanup(); }
    void wholeSite_data();
    void wholeSite();
    void nothingInClearText_data();
    void nothingInClearText();
    void sftpDirectories_data();
    void sftpDirectories();
    void sftpWrongPassword();

private:
    TestCertificates certificates_;
};

void TestSecureTransports::initTestCase()
{
    QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    QVERIFY2(certificates_.make(), qPrintable(certificates_.errorString()));
}

void TestSecureTransports::wholeSite_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<Trust>("trust");
    // What the login sends before its PWD; empty for SFTP, which has no such commands.
    QTest::addColumn<QStringList>("login");

    const QStringList afterLogin{"PBSZ 0", "PROT P", "PWD"};
    const QString user = "USER " + FtpTestServer::user();
    QTest::newRow("explicit TLS, pyftpdlib, key pinned")
        << Server::PyftpdlibExplicit << Trust::PinnedKey
        << QStringList{"AUTH TLS", "[TLS]", user, "PASS ******"} + afterLogin;
    QTest::newRow("implicit TLS, pyftpdlib, signed by an authority")
        << Server::PyftpdlibImplicit << Trust::Authority
        << QStringList{"[TLS]", user, "PASS ******"} + afterLogin;
    QTest::newRow("explicit TLS, vsftpd requiring TLS session reuse, signed by an authority")
        << Server::VsftpdExplicit << Trust::Authority
        << QStringList{"AUTH TLS", "USER " + TestSystemUser::name(), "PASS <password>"} +
               afterLogin;
    QTest::newRow("implicit TLS, vsftpd requiring TLS session reuse, key pinned")
        << Server::VsftpdImplicit << Trust::PinnedKey
        << QStringList{"USER " + TestSystemUser::name(), "PASS <password>"} + afterLogin;
    QTest::newRow("SFTP, OpenSSH, host key pinned")
        << Server::Sftp << Trust::PinnedKey << QStringList();
}

// The whole publish run of three pages in two directories, one relative to the login
// directory and one absolute, over each secure transport: the same log as over plain FTP,
// every byte on the server and in the program folder, and one connection for it all.
void TestSecureTransports::wholeSite()
{
    QFETCH(Server, server);
    QFETCH(Trust, trust);
    QFETCH(QStringList, login);

    if (AnyServer::needsSystemUser(server) && !TestSystemUser::canBeMade())
        QSKIP("vsftpd and sshd need a system user, and making one needs root");
    AnyServer site;
    QVERIFY2(site.start(server, certificates_), qPrintable(site.error()));
    const QString home = site.home();
    const QString publicDir = Join(home, QStringLiteral("public"));
    QVERIFY(site.writeFile(Join(publicDir, QStringLiteral("index.html")), IndexPage));
    QVERIFY(site.writeFile(Join(publicDir, QStringLiteral("about.html")), AboutPage));
    QVERIFY(site.writeFile(QStringLiteral("/archive/news.html"), NewsPage));
    QTemporaryDir folder;
    if (trust == Trust::PinnedKey)
        QVERIFY(WriteFile(folder.filePath(QStringLiteral("vellumet-trust.txt")),
                          "# the test server's key\r\n127.0.0.1 " +
                              site.pin(certificates_).toLatin1() + "\r\n"));

    PublishJob job;
    job.Settings.Server = site.scheme() + site.address();
    job.Settings.Login = site.login();
    job.Settings.Password = site.password();
    job.Pages = {{"index.html", "index.html", "public"},
                 {"about.html", "about-live.html", "public"},
                 {"news.html", "news.html", "/archive"}};
    job.Paragraphs = {{"Intro", "Intro",
                       QStringLiteral("Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n")},
                      {"Hours", "Hours", QStringLiteral("9\u21925 <daily>")}};
    job.Folder = folder.path();
    QStringList log;
    {
        CurlFtpClient client(folder.path());
        client.setTimeouts(5s, 5s);
        if (trust == Trust::Authority)
            client.setCertificateAuthorities(certificates_.authority());
        PublishSite(job, client, [&](const QString &line) { log.append(line); });
    }

    QCOMPARE(log, (QStringList{"Saving local copy", "Connecting to Server " + job.Settings.Server,
                               "Current Directory is " + home, "Changing Directory to public",
                               "Current Directory is " + publicDir, "Getting File index.html",
                               "Putting File index.html", "Getting File about.html",
                               "Putting File about-live.html", "Changing Directory to /archive",
                               "Current Directory is /archive", "Getting File news.html",
                               "Putting File news.html", "Disconnecting", "Finished"}));
    const QByteArray index = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n"
                             "<p>Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C"
                             "best\xE2\x80\x9D</p>\r\n";
    const QByteArray aboutLive = "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 "
                                 "\x93"
                                 "best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n";
    const QByteArray news = "<p>9&#8594;5 &lt;daily&gt;</p>\n";
    const QList<std::pair<QString, QByteArray>> onServer{
        {Join(publicDir, QStringLiteral("index.html")), index},
        {Join(publicDir, QStringLiteral("about.html")), AboutPage},
        {Join(publicDir, QStringLiteral("about-live.html")), aboutLive},
        {QStringLiteral("/archive/news.html"), news}};
    for (const auto &[path, bytes] : onServer)
        QCOMPARE(site.readFile(path), bytes);
    const QList<std::pair<QString, QByteArray>> inFolder{{"index.html", index},
                                                         {"about.html", AboutPage},
                                                         {"about-live.html", aboutLive},
                                                         {"news.html", news}};
    for (const auto &[name, bytes] : inFolder)
        QCOMPARE(ReadFile(folder.filePath(name)), bytes);

    QCOMPARE(site.connections(), 1);
    QCOMPARE(site.loginCommands(), login);
}

void TestSecureTransports::nothingInClearText_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<QByteArray>("clearText"); // all that may cross the wire unencrypted

    QTest::newRow("explicit TLS") << Server::PyftpdlibExplicit << QByteArray("AUTH TLS\r\n");
    QTest::newRow("implicit TLS") << Server::PyftpdlibImplicit << QByteArray();
    QTest::newRow("SFTP") << Server::Sftp << QByteArray("SSH-2.0-");
}

// What went from the client to the server, recorded on the wire: after what the transport
// has to say in the clear, no command, login name or password, only TLS or SSH records.
void TestSecureTransports::nothingInClearText()
{
    QFETCH(Server, server);
    QFETCH(QByteArray, clearText);

    if (AnyServer::needsSystemUser(server) && !TestSystemUser::canBeMade())
        QSKIP("vsftpd and sshd need a system user, and making one needs root");
    AnyServer site;
    QVERIFY2(site.start(server, certificates_), qPrintable(site.error()));
    QVERIFY(site.writeFile(Join(site.home(), QStringLiteral("a.html")), "<p>secret page</p>"));
    RecordingProxy wire;
    QVERIFY2(wire.start(quint16(site.address().section(u':', 1).toUInt())),
             qPrintable(wire.errorString()));
    QTemporaryDir folder;
    QVERIFY(WriteFile(folder.filePath(QStringLiteral("vellumet-trust.txt")),
                      "127.0.0.1 " + site.pin(certificates_).toLatin1()));
    {
        CurlFtpClient client(folder.path());
        client.setTimeouts(5s, 5s);
        QCOMPARE(client.Connect(site.scheme() + wire.address(), site.login(), site.password()), 1);
        QCOMPARE(client.GetFile(QStringLiteral("a.html"), folder.path()), 1);
        client.Disconnect();
    }

    const QByteArray sent = wire.clientBytes();
    QVERIFY(sent.startsWith(clearText));
    for (const QByteArray &secret : {site.login().toUtf8(), site.password().toUtf8(),
                                     QByteArray("USER"), QByteArray("PASS"), QByteArray("a.html")})
        QVERIFY2(!sent.contains(secret), secret.constData());
    // TLS records begin with content type 22 (handshake) and version 3.x.
    if (server != Server::Sftp)
        QVERIFY(sent.mid(clearText.size()).startsWith("\x16\x03"));
}

void TestSecureTransports::sftpDirectories_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("current"); // afterwards

    QTest::newRow("relative") << "public" << 1 << "/site/public";
    QTest::newRow("absolute") << "/archive" << 1 << "/archive";
    QTest::newRow("up and down again") << "../site/./public/" << 1 << "/site/public";
    QTest::newRow("up to the root and down") << "../archive" << 1 << "/archive";
    QTest::newRow("missing") << "missing" << 0 << "/site";
    QTest::newRow("a file") << "a.html" << 0 << "/site";
}

// SFTP has no current directory on the server: a change is to a directory that exists,
// and later transfers act there.
void TestSecureTransports::sftpDirectories()
{
    QFETCH(QString, path);
    QFETCH(int, result);
    QFETCH(QString, current);

    if (!TestSystemUser::canBeMade())
        QSKIP("sshd needs a system user, and making one needs root");
    SshTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/site/a.html"), "in site"));
    QVERIFY(server.writeFile(QStringLiteral("/site/public/a.html"), "in public"));
    QVERIFY(server.writeFile(QStringLiteral("/archive/a.html"), "in archive"));
    QTemporaryDir folder;
    QVERIFY(WriteFile(folder.filePath(QStringLiteral("vellumet-trust.txt")),
                      "127.0.0.1 " + server.fingerprint().toLatin1()));
    CurlFtpClient client(folder.path());
    client.setTimeouts(5s, 5s);
    QCOMPARE(client.Connect("sftp://" + server.address(), TestSystemUser::name(),
                            TestSystemUser::password()),
             1);

    QCOMPARE(client.ChangeDir(path), result);
    QCOMPARE(client.CurrentDirectory(), current);
    QCOMPARE(client.GetFile(QStringLiteral("a.html"), folder.path()), 1);
    QCOMPARE(ReadFile(folder.filePath(QStringLiteral("a.html"))),
             server.readFile(Join(current, QStringLiteral("a.html"))));
    QVERIFY(WriteFile(folder.filePath(QStringLiteral("b.html")), "put here"));
    QCOMPARE(client.PutFile(folder.filePath(QStringLiteral("b.html")), QString()), 1);
    QCOMPARE(server.readFile(Join(current, QStringLiteral("b.html"))), QByteArray("put here"));
    QCOMPARE(client.GetFile(QStringLiteral("missing.html"), folder.path()), 0);
    QVERIFY2(client.LastError().contains(QStringLiteral("No such file")),
             qPrintable(client.LastError()));
    client.Disconnect();
    QCOMPARE(server.connections(), 1);
}

// The host key checks out, so the password goes to the server, which refuses it.
void TestSecureTransports::sftpWrongPassword()
{
    if (!TestSystemUser::canBeMade())
        QSKIP("sshd needs a system user, and making one needs root");
    SshTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTemporaryDir folder;
    QVERIFY(WriteFile(folder.filePath(QStringLiteral("vellumet-trust.txt")),
                      "127.0.0.1 " + server.fingerprint().toLatin1()));
    CurlFtpClient client(folder.path());
    client.setTimeouts(5s, 5s);

    QCOMPARE(client.Connect("sftp://" + server.address(), TestSystemUser::name(),
                            QStringLiteral("wrong")),
             0);
    QCOMPARE(client.LastError(),
             QStringLiteral("The server 127.0.0.1 refused the login name or password"));
    QVERIFY(server.passwordsChecked() >= 1);
    QCOMPARE(client.GetFile(QStringLiteral("a.html"), folder.path()), 0);
}

QTEST_GUILESS_MAIN(TestSecureTransports)
#include "tst_securetransports.moc"

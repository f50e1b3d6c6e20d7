#include "FtpTestServer.h"

#include "publish/CurlFtpClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace std::chrono_literals;

namespace
{

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

} // namespace

class TestCurlFtpClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void connectFails_data();
    void connectFails();
    void namesNeedingEscapes();
    void failedFetchKeepsLocalFile();
    void refusedChangeKeepsConnection();
    void passiveFallback();
    void serverStopsAnswering();
};

void TestCurlFtpClient::connectFails_data()
{
    QTest::addColumn<QString>("server"); // "%1" stands for a running server's address
    QTest::addColumn<QString>("serverKind");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("error");

    const QString right = FtpTestServer::password();
    QTest::newRow("wrong password") << "%1"
                                    << "ftp"
                                    << "wrong p@ss"
                                    << "Authentication failed (530)";
    QTest::newRow("nothing listening")
        << "127.0.0.1:1"
        << "" << right << "Could not reach 127.0.0.1 (connection refused)";
    QTest::newRow("silent server") << "%1"
                                   << "silent" << right << "The server 127.0.0.1 does not answer";
    QTest::newRow("nothing listening, implicit TLS")
        << "ftps://127.0.0.1:1"
        << "" << right << "Could not reach 127.0.0.1 (connection refused)";
    QTest::newRow("nothing listening, SFTP")
        << "sftp://127.0.0.1:1"
        << "" << right << "Could not reach 127.0.0.1 (connection refused)";
    QTest::newRow("malformed")
        << "ftp://example.com/pub"
        << "" << right
        << "The server address \"ftp://example.com/pub\" is not valid; write a host name, "
           "optionally followed by \":\" and a port";
}

void TestCurlFtpClient::connectFails()
{
    QFETCH(QString, server);
    QFETCH(QString, serverKind);
    QFETCH(QString, password);
    QFETCH(QString, error);

    FtpTestServer ftpServer;
    if (!serverKind.isEmpty())
        QVERIFY2(ftpServer.start(serverKind == u"silent" ? FtpTestServer::Options::silentServer()
                                                         : FtpTestServer::Options()),
                 qPrintable(ftpServer.errorString()));
    CurlFtpClient client;
    client.setTimeouts(2s, 2s);
    QElapsedTimer clock;
    clock.start();
    if (!serverKind.isEmpty())
        server = server.arg(ftpServer.address());
    QCOMPARE(client.Connect(server, FtpTestServer::user(), password), 0);
    QCOMPARE(client.LastError(), error);
    QVERIFY(!client.LastError().contains(password));
    QVERIFY(clock.elapsed() < 10000);
    // A refused login is not tried again.
    QVERIFY(ftpServer.commands().count(QStringLiteral("PASS ******")) <= 1);
    QCOMPARE(client.GetFile(QStringLiteral("a.html"), QDir::tempPath()), 0);
    QCOMPARE(client.LastError(), QStringLiteral("Not connected to a server"));
}

// Names with spaces, URL characters, quotes and non-ASCII letters reach the server as
// written, and the directory is read back as the server reports it.
void TestCurlFtpClient::namesNeedingEscapes()
{
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString directory = QStringLiteral("/a b%#?;\"q\"");
    const QString name = QStringLiteral("\u00FC \u00F1#%.html");
    QVERIFY(server.writeFile(directory + u'/' + name, "caf\xC3\xA9\r\n"));
    QTemporaryDir folder;
    CurlFtpClient client;

    QCOMPARE(client.Connect(server.address(), FtpTestServer::user(), FtpTestServer::password()), 1);
    QCOMPARE(client.CurrentDirectory(), QStringLiteral("/"));
    QCOMPARE(client.ChangeDir(directory), 1);
    QCOMPARE(client.CurrentDirectory(), directory);
    QCOMPARE(client.GetFile(name, folder.path()), 1);
    QCOMPARE(ReadFile(folder.filePath(name)), QByteArray("caf\xC3\xA9\r\n"));
    QVERIFY(WriteFile(folder.filePath(name), "new\r\n"));
    QCOMPARE(client.PutFile(folder.filePath(name), QString()), 1);
    QCOMPARE(client.PutFile(folder.filePath(name), QStringLiteral("copy 100%.html")), 1);
    client.Disconnect();

    QCOMPARE(server.readFile(directory + u'/' + name), QByteArray("new\r\n"));
    QCOMPARE(server.readFile(directory + QStringLiteral("/copy 100%.html")), QByteArray("new\r\n"));
    QCOMPARE(server.connections(), 1);
}

void TestCurlFtpClient::failedFetchKeepsLocalFile()
{
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTemporaryDir folder;
    const QString local = folder.filePath(QStringLiteral("page.html"));
    QVERIFY(WriteFile(local, "kept"));
    CurlFtpClient client;

    QCOMPARE(client.Connect(server.address(), FtpTestServer::user(), FtpTestServer::password()), 1);
    QCOMPARE(client.GetFile(QStringLiteral("page.html"), folder.path()), 0);
    QCOMPARE(client.LastError(), QStringLiteral("No such file or directory (550)"));
    QCOMPARE(ReadFile(local), QByteArray("kept"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"page.html"});
    // An empty file on the server is a valid page and replaces the local one.
    QVERIFY(server.writeFile(QStringLiteral("/page.html"), QByteArray()));
    QCOMPARE(client.GetFile(QStringLiteral("page.html"), folder.path()), 1);
    QCOMPARE(ReadFile(local), QByteArray());
}

// A refused CWD must leave the session as it was: same directory, same login.
void TestCurlFtpClient::refusedChangeKeepsConnection()
{
    FtpTestServer server;
    QVERIFY2(server.start(FtpTestServer::Options::startingIn(QStringLiteral("/site"))),
             qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/site/a.html"), "a"));
    QTemporaryDir folder;
    CurlFtpClient client;

    QCOMPARE(client.Connect(server.address(), FtpTestServer::user(), FtpTestServer::password()), 1);
    QCOMPARE(client.CurrentDirectory(), QStringLiteral("/site"));
    QCOMPARE(client.ChangeDir(QStringLiteral("missing")), 0);
    QCOMPARE(client.LastError(), QStringLiteral("No such file or directory (550)"));
    QCOMPARE(client.CurrentDirectory(), QStringLiteral("/site"));
    QCOMPARE(client.GetFile(QStringLiteral("a.html"), folder.path()), 1);
    QCOMPARE(server.connections(), 1);
    QCOMPARE(server.commands().count(QStringLiteral("PASS ******")), 1);
}

// A server without EPSV costs one refused EPSV per connection, not one per transfer.
void TestCurlFtpClient::passiveFallback()
{
    FtpTestServer server;
    FtpTestServer::Options options;
    options.refuse = {QStringLiteral("EPSV")};
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/a.html"), "a"));
    QTemporaryDir folder;
    CurlFtpClient client;

    QCOMPARE(client.Connect(server.address(), FtpTestServer::user(), FtpTestServer::password()), 1);
    QCOMPARE(client.GetFile(QStringLiteral("a.html"), folder.path()), 1);
    QCOMPARE(client.PutFile(folder.filePath(QStringLiteral("a.html")), QString()), 1);
    QCOMPARE(client.PutFile(folder.filePath(QStringLiteral("a.html")), QString()), 1);
    const QStringList put{"PASV", "STOR /.vellumet-upload-a.html", "RNFR /.vellumet-upload-a.html",
                          "RNTO /a.html"};
    QCOMPARE(server.commands().mid(3),
             QStringList({"EPSV", "PASV", "TYPE I", "RETR /a.html"}) + put + put);
}

// Fails the step at the stall time-out, then refuses everything else at once without
// logging in again.
void TestCurlFtpClient::serverStopsAnswering()
{
    FtpTestServer server;
    QVERIFY2(server.start(FtpTestServer::Options::stallingOn(QStringLiteral("RETR"))),
             qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/a.html"), "a"));
    QTemporaryDir folder;
    QVERIFY(WriteFile(folder.filePath(QStringLiteral("a.html")), "kept"));
    CurlFtpClient client;
    client.setTimeouts(2s, 2s);
    QElapsedTimer clock;
    clock.start();

    QCOMPARE(client.Connect(server.address(), FtpTestServer::user(), FtpTestServer::password()), 1);
    QCOMPARE(client.GetFile(QStringLiteral("a.html"), folder.path()), 0);
    QCOMPARE(client.LastError(), QStringLiteral("The server 127.0.0.1 stopped answering"));
    QCOMPARE(ReadFile(folder.filePath(QStringLiteral("a.html"))), QByteArray("kept"));
    QCOMPARE(client.PutFile(folder.filePath(QStringLiteral("a.html")), QString()), 0);
    QCOMPARE(client.LastError(), QStringLiteral("The connection to 127.0.0.1 was lost"));
    QCOMPARE(client.ChangeDir(QStringLiteral("/")), 0);
    client.Disconnect();
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(server.commands().constLast(), QStringLiteral("RETR /a.html"));
    QCOMPARE(server.connections(), 1);
}

QTEST_GUILESS_MAIN(TestCurlFtpClient)
#include "tst_curlftpclient.moc"

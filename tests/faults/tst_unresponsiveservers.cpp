#include "FaultRun.h"
#include "FtpTestServer.h"
#include "RealServer.h"

#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace Bakery;

// A server that takes the connection and never answers, or answers for a while and then
// falls silent at one command or another. Each costs one time-out at most: the step that
// waits fails, every later one is refused at once, and the pages on the server stay whole.
class TestUnresponsiveServers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void fallsSilent_data();
    void fallsSilent();
};

void TestUnresponsiveServers::fallsSilent_data()
{
    QTest::addColumn<QString>("silentFrom"); // "" for a server that never says a word
    QTest::addColumn<QStringList>("logMiddle");
    QTest::addColumn<QStringList>("left"); // on the server besides the old pages

    const QStringList connectFails{
        "ERROR The server 127.0.0.1 does not answer - Failed to connect to Server"};
    const QStringList fetchFails{"Current Directory is /",
                                 "Getting File index.html",
                                 "ERROR Failed to Get File index.html",
                                 "Getting File about.html",
                                 "ERROR Failed to Get File about.html",
                                 "Disconnecting"};
    const QStringList putFails{"Current Directory is /",
                               "Getting File index.html",
                               "Putting File live.html",
                               "ERROR Failed to Put File live.html",
                               "Getting File about.html",
                               "ERROR Failed to Get File about.html",
                               "Disconnecting"};
    const QString template_ =
        "/.vellumet-upload-index.html: " + QString::number(IndexTemplate.size());
    QTest::newRow("never answers") << "" << connectFails << QStringList();
    QTest::newRow("greets, then never answers the login")
        << "USER" << connectFails << QStringList();
    QTest::newRow("falls silent at the fetch") << "RETR" << fetchFails << QStringList();
    QTest::newRow("falls silent at the upload") << "STOR" << putFails << QStringList();
    // The whole template is up under its temporary name, and stays there.
    QTest::newRow("falls silent at the rename") << "RNFR" << putFails << QStringList{template_};
    QTest::newRow("falls silent halfway through the rename")
        << "RNTO" << putFails << QStringList{template_};
}

void TestUnresponsiveServers::fallsSilent()
{
    QFETCH(QString, silentFrom);
    QFETCH(QStringList, logMiddle);
    QFETCH(QStringList, left);

    RealServer server(QStringLiteral("pyftpdlib"));
    QVERIFY(WriteBakery(server));
    FtpTestServer::Options options;
    options.silent = silentFrom.isEmpty();
    if (!silentFrom.isEmpty())
        options.stallOn = {silentFrom};
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    QTemporaryDir folder;

    const FaultRun run = PublishThrough(server.address(), server.user(), server.password(), Pages(),
                                        Typed, folder.path());

    QCOMPARE(run.log,
             QStringList({"Saving local copy", "Connecting to Server " + server.address()}) +
                 logMiddle + QStringList{"Finished"});
    // One time-out of 2 s, and nothing more that waits.
    QVERIFY2(run.milliseconds < 8000, qPrintable(QString::number(run.milliseconds)));
    const QString ending = BadEnding(run);
    QVERIFY2(ending.isEmpty(), qPrintable(ending));
    const QString lost = LostText(run, Typed, folder.path());
    QVERIFY2(lost.isEmpty(), qPrintable(lost));
    QCOMPARE(server.readFile(QStringLiteral("/live.html")), OldLivePage);
    QStringList onServer = FilesBefore() + left;
    onServer.sort();
    QCOMPARE(FilesBelow(server.localPath(QString())), onServer);
}

QTEST_GUILESS_MAIN(TestUnresponsiveServers)
#include "tst_unresponsiveservers.moc"

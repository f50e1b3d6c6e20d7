#include "CuttingProxy.h"
#include "FaultRun.h"
#include "RealServer.h"

#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace Bakery;

// The network fails in the middle of a run: the connection is reset, or goes quiet, while a
// page comes down or goes up, or between an upload and its rename. The pages on the server
// stay the old ones, the program folder holds whole files only, every later step is
// refused at once, and the next run puts everything right.
class TestTransferCuts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void cutMidRun_data();
    void cutMidRun();
};

void TestTransferCuts::cutMidRun_data()
{
    QTest::addColumn<QString>("serverKind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<qint64>("afterBytes");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("logMiddle");

    const QStringList fetchFails{"Getting File index.html", "ERROR Failed to Get File index.html",
                                 "Getting File about.html", "ERROR Failed to Get File about.html"};
    const QStringList putFails{"Getting File index.html", "Putting File live.html",
                               "ERROR Failed to Put File live.html", "Getting File about.html",
                               "ERROR Failed to Get File about.html"};
    for (const QString kind : {"pyftpdlib", "pure-ftpd"}) {
        const auto row = [&](const char *name) {
            return &(QTest::addRow("%s, %s", qPrintable(kind), name) << kind);
        };
        *row("reset while the page comes down")
            << "RETR" << 1 << qint64(50000) << false << fetchFails;
        // The first upload is the fetched template going back, the second the new page.
        *row("reset while the template goes up")
            << "STOR" << 1 << qint64(50000) << false << putFails;
        *row("reset while the page goes up") << "STOR" << 2 << qint64(50000) << false << putFails;
        *row("reset between upload and rename") << "RNFR" << 2 << qint64(-1) << false << putFails;
        *row("silence while the page goes up") << "STOR" << 2 << qint64(50000) << true << putFails;
    }
}

void TestTransferCuts::cutMidRun()
{
    QFETCH(QString, serverKind);
    QFETCH(QString, command);
    QFETCH(int, occurrence);
    QFETCH(qint64, afterBytes);
    QFETCH(bool, silent);
    QFETCH(QStringList, logMiddle);

    RealServer server(serverKind);
    if (!server.unavailableReason().isEmpty())
        QSKIP(qPrintable(server.unavailableReason()));
    QVERIFY(WriteBakery(server));
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    CuttingProxy proxy;
    QVERIFY2(proxy.start(server.port(), {command, occurrence, afterBytes, silent}),
             qPrintable(proxy.errorString()));
    QTemporaryDir folder;
    // A page fetched by an earlier run, which a broken fetch must leave as it was.
    QVERIFY(QFile(folder.filePath(QStringLiteral("index.html"))).open(QIODevice::WriteOnly));

    const FaultRun run = PublishThrough(proxy.address(), server.user(), server.password(), Pages(),
                                        Typed, folder.path());

    qInfo().noquote() << "left on the server:" << FilesBelow(server.localPath(QString()));
    const QString cut =
        afterBytes < 0
            ? QStringLiteral("on %1 #%2").arg(command).arg(occurrence)
            : QStringLiteral("%1 #%2 after %3 bytes").arg(command).arg(occurrence).arg(afterBytes);
    QCOMPARE(proxy.cuts(), QStringList{cut});
    QCOMPARE(run.log, QStringList({"Saving local copy", "Connecting to Server " + proxy.address(),
                                   "Current Directory is /"}) +
                          logMiddle + QStringList({"Disconnecting", "Finished"}));
    const QString ending = BadEnding(run);
    QVERIFY2(ending.isEmpty(), qPrintable(ending));
    const QString lost = LostText(run, Typed, folder.path());
    QVERIFY2(lost.isEmpty(), qPrintable(lost));

    // Every page under its real name is the old one, whole; what the broken upload left,
    // if anything, is under a temporary name.
    QCOMPARE(server.readFile(QStringLiteral("/live.html")), OldLivePage);
    QCOMPARE(server.readFile(QStringLiteral("/index.html")), IndexTemplate);
    QCOMPARE(server.readFile(QStringLiteral("/about.html")), AboutTemplate);
    for (const QString &file : FilesBelow(server.localPath(QString())))
        QVERIFY2(FilesBefore().contains(file) || file.startsWith(u"/.vellumet-upload-"),
                 qPrintable(file));
    // The program folder holds whole files only: the old page when the fetch broke off,
    // the whole fetched and spliced pages when an upload did.
    const QStringList inFolder =
        command == u"RETR"
            ? QStringList{"/Intro.txt: 18", "/index.html: 0"}
            : QStringList{"/Intro.txt: 18", "/index.html: " + QString::number(IndexTemplate.size()),
                          "/live.html: " + QString::number(NewLivePage.size())};
    QCOMPARE(FilesBelow(folder.path()), inFolder);

    // The next run, over a sound connection, replaces the pages and clears away what the
    // broken upload left.
    const FaultRun next = PublishThrough(server.address(), server.user(), server.password(),
                                         Pages(), Typed, folder.path());
    QCOMPARE(next.log.filter(QStringLiteral("ERROR")), QStringList());
    QCOMPARE(server.readFile(QStringLiteral("/live.html")), NewLivePage);
    QCOMPARE(server.readFile(QStringLiteral("/about.html")), NewAboutPage);
    QCOMPARE(FilesBelow(server.localPath(QString())), FilesAfter());
}

QTEST_GUILESS_MAIN(TestTransferCuts)
#include "tst_transfercuts.moc"

#include "FtpTestServer.h"
#include "UiTestSupport.h"

#include "publish/CurlFtpClient.h"
#include "ui/PlainTextEditor.h"

#include <QPushButton>
#include <QTest>

#include <curl/curl.h>

// The whole road of one edit: typed into the real window, saved, and published through
// libcurl to a real FTP server.
class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        UseTestSettings();
        QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    }
    void cleanupTestCase() { curl_global_cleanup(); }
    void editSaveAndPublish();
};

void TestEndToEnd::editSaveAndPublish()
{
    FtpTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/www/index.tpl"),
                             "<html><p>@{news}@</p><p>@{hours}@</p></html>"));

    TestSite site;
    site.writeDefinition("SERVER=" + server.address().toLatin1() +
                         "\r\nLOGIN=" + FtpTestServer::user().toLatin1() +
                         "\r\nPASSWORD=" + FtpTestServer::password().toLatin1() +
                         "\r\nDIRECTORY=/www\r\nPAGE=index.tpl,index.html\r\n"
                         "PARAGRAPH=news,Latest news\r\nPARAGRAPH=hours,Opening hours\r\n");
    site.writeFile(QStringLiteral("hours.txt"), "9 to 5");

    FakeQuestions questions;
    frmMain window(
        site.folder(), [] { return std::make_unique<CurlFtpClient>(); }, questions);
    QVERIFY(window.Load());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    ClickEntry(window, 0);
    QTest::keyClicks(Editor(window), QStringLiteral("Fish & Chips <today>"));
    QTest::keyClick(Editor(window), Qt::Key_Return);
    QTest::keyClicks(Editor(window), QStringLiteral("Open late"));
    Click(Button(window, "cmdSave"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.IsPublishing(), 60000);

    const QString log = Editor(window)->text();
    QVERIFY2(log.endsWith(u"\r\nFinished") && !log.contains(u"ERROR"), qPrintable(log));
    QCOMPARE(server.readFile(QStringLiteral("/www/index.html")),
             "<html><p>Fish &amp; Chips &lt;today&gt;<br>Open late</p><p>9 to 5</p></html>");
    // The source keeps its markers for the next run.
    QCOMPARE(server.readFile(QStringLiteral("/www/index.tpl")),
             "<html><p>@{news}@</p><p>@{hours}@</p></html>");
    QCOMPARE(site.readFile(QStringLiteral("news.txt")), "Fish & Chips <today>\r\nOpen late");
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"

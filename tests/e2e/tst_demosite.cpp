#include "FtpTestServer.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"
#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

#include <memory>

using namespace std::chrono_literals;

namespace
{

QString DemoSite()
{
    return qEnvironmentVariable("VELLUMET_SOURCE_DIR") + QStringLiteral("/examples/demo-site");
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray DemoTemplate(const QString &remotePath)
{
    return ReadFile(DemoSite() + QStringLiteral("/server") + remotePath);
}

// The demo site as the client and the server hold it before the client's first Save:
// the server serves a copy of examples/demo-site/server, and the program folder holds
// a copy of examples/demo-site/client with vellumet.ini read as the program reads it.
class DemoSiteRun
{
public:
    bool start()
    {
        if (!server.start()) {
            qWarning("%s", qPrintable(server.errorString()));
            return false;
        }
        const QString serverFiles = DemoSite() + QStringLiteral("/server");
        QDirIterator it(serverFiles, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!server.writeFile(path.mid(serverFiles.size()), ReadFile(path)))
                return false;
        }
        const QString clientFiles = DemoSite() + QStringLiteral("/client");
        for (const QString &name : QDir(clientFiles).entryList(QDir::Files))
            if (!QFile::copy(clientFiles + u'/' + name, folder.filePath(name)))
                return false;

        const std::optional<QByteArray> ini = ReadSiteDefinitionFile(folder.path());
        if (!ini)
            return false;
        site = ParseSiteDefinition(*ini);
        site.Settings.Server = server.address();
        site.Settings.Login = FtpTestServer::user();
        site.Settings.Password = FtpTestServer::password();
        return LoadLocalCopies(site.Paragraphs, folder.path()).isEmpty();
    }

    // What the client typed into a paragraph before pressing Save.
    void edit(const QString &paraName, const QString &text)
    {
        for (Paragraph &para : site.Paragraphs)
            if (para.ParaName == paraName)
                para.ParaText = text;
    }

    QStringList publish()
    {
        PublishJob job{site.Settings, site.Pages, site.Paragraphs, folder.path()};
        CurlFtpClient client;
        client.setTimeouts(5s, 5s);
        QStringList log;
        const PublishOutcome outcome =
            PublishSite(job, client, [&](const QString &line) { log.append(line); });
        site.Paragraphs = outcome.Paragraphs;
        return log;
    }

    FtpTestServer server;
    QTemporaryDir folder;
    SiteDefinition site;
};

const QRegularExpression Marker(QStringLiteral("@\\{\\w+\\}@"));

// The published pages in UTF-8, as a browser reads them (the pages declare utf-8).
// The client's edit holds characters of every kind the encoder treats differently.
const QString EditedSpecials = QStringLiteral("Rye & \"caraway\" <loaf>\r\n"
                                              "\u20AC3.20 \u2013 caf\u00E9 \u2192 today");
const QByteArray EncodedSpecials = "Rye &amp; &quot;caraway&quot; &lt;loaf&gt;<br>"
                                   "\xE2\x82\xAC"
                                   "3.20 \xE2\x80\x93 caf\xC3\xA9 \xE2\x86\x92 today";

} // namespace

class TestDemoSite : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void logShowsEveryPageInItsDirectory();
    void targetsCarryTheEncodedTexts_data();
    void targetsCarryTheEncodedTexts();
    void targetsKeepEverythingButTheMarkers_data();
    void targetsKeepEverythingButTheMarkers();
    void sourcesKeepTheirMarkers_data();
    void sourcesKeepTheirMarkers();
    void onlyTwoNamePagesTakeASecondSave();

private:
    std::unique_ptr<DemoSiteRun> run_;
    QStringList log_;
};

void TestDemoSite::initTestCase()
{
    QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    run_ = std::make_unique<DemoSiteRun>();
    QVERIFY(run_->start());
    run_->edit(QStringLiteral("Specials"), EditedSpecials);
    log_ = run_->publish();
}

void TestDemoSite::cleanupTestCase()
{
    run_.reset();
    curl_global_cleanup();
}

void TestDemoSite::logShowsEveryPageInItsDirectory()
{
    const QStringList expected{
        QStringLiteral("Saving local copy"),
        QStringLiteral("Connecting to Server ") + run_->server.address(),
        QStringLiteral("Current Directory is /"),
        QStringLiteral("Getting File index.tpl"),
        QStringLiteral("Putting File index.html"),
        QStringLiteral("Getting File hours.html"),
        QStringLiteral("Putting File hours.html"),
        QStringLiteral("Changing Directory to /news"),
        QStringLiteral("Current Directory is /news"),
        QStringLiteral("Getting File news.tpl"),
        QStringLiteral("Putting File news.html"),
        QStringLiteral("Disconnecting"),
        QStringLiteral("Finished"),
    };
    QCOMPARE(log_, expected);
}

void TestDemoSite::targetsCarryTheEncodedTexts_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QByteArray>("fragment");
    // The untouched paragraphs come from the demo's Windows-1252 local copies.
    QTest::newRow("edited paragraph") << "/index.html"
                                      << "<p>" + EncodedSpecials + "</p>";
    QTest::newRow("Windows-1252 copy into a UTF-8 page")
        << "/index.html"
        << QByteArray("slice of our cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                      "e tart.</p>");
    QTest::newRow("line breaks and ampersand")
        << "/index.html" << QByteArray("croissants &amp; pain au chocolat.<br>Come in,");
    QTest::newRow("one paragraph on two pages: home")
        << "/index.html" << QByteArray("<p>Tuesday to Friday 7:00 - 18:00<br>Saturday");
    QTest::newRow("one paragraph on two pages: hours")
        << "/hours.html" << QByteArray("<p>Tuesday to Friday 7:00 - 18:00<br>Saturday");
    QTest::newRow("second paragraph of a page")
        << "/hours.html" << QByteArray("<p>We are closed from 24 December");
    QTest::newRow("page in a sub-directory")
        << "/news/news.html" << QByteArray("<p>Our new stone oven has arrived!");
}

void TestDemoSite::targetsCarryTheEncodedTexts()
{
    QFETCH(QString, page);
    QFETCH(QByteArray, fragment);
    const QByteArray published = run_->server.readFile(page);
    QVERIFY2(published.contains(fragment), published.constData());
}

void TestDemoSite::targetsKeepEverythingButTheMarkers_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::newRow("source and target") << "/index.tpl"
                                       << "/index.html";
    QTest::newRow("filled in place") << "/hours.html"
                                     << "/hours.html";
    QTest::newRow("sub-directory") << "/news/news.tpl"
                                   << "/news/news.html";
}

// Every stretch of the template between markers reaches the target byte for byte, in
// order, and no marker is left: nothing of the page is lost or re-encoded.
void TestDemoSite::targetsKeepEverythingButTheMarkers()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    const QString templ = QString::fromUtf8(DemoTemplate(source));
    const QByteArray published = run_->server.readFile(target);
    QVERIFY(templ.contains(Marker));
    QVERIFY(!QString::fromUtf8(published).contains(Marker));
    qsizetype at = 0;
    for (const QString &stretch : templ.split(Marker)) {
        const qsizetype found = published.indexOf(stretch.toUtf8(), at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing: ") + stretch));
        at = found + stretch.toUtf8().size();
    }
    QCOMPARE(at, published.size());
}

void TestDemoSite::sourcesKeepTheirMarkers_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("home") << "/index.tpl";
    QTest::newRow("news") << "/news/news.tpl";
}

void TestDemoSite::sourcesKeepTheirMarkers()
{
    QFETCH(QString, source);
    QCOMPARE(run_->server.readFile(source), DemoTemplate(source));
}

// A page given with two names is made again from its source on every Save; a page
// given with one name lost its markers on the first Save and keeps that text.
void TestDemoSite::onlyTwoNamePagesTakeASecondSave()
{
    DemoSiteRun run;
    QVERIFY(run.start());
    QVERIFY(!run.publish().join(u'\n').contains(QStringLiteral("ERROR")));
    const QByteArray firstHours = run.server.readFile(QStringLiteral("/hours.html"));

    run.edit(QStringLiteral("Opening_hours"), QStringLiteral("Open every day 6:00 - 20:00"));
    QVERIFY(!run.publish().join(u'\n').contains(QStringLiteral("ERROR")));

    QVERIFY(run.server.readFile(QStringLiteral("/index.html"))
                .contains("<p>Open every day 6:00 - 20:00</p>"));
    QCOMPARE(run.server.readFile(QStringLiteral("/hours.html")), firstHours);
    QCOMPARE(ReadFile(run.folder.filePath(QStringLiteral("Opening_hours.txt"))),
             QByteArray("Open every day 6:00 - 20:00"));
}

QTEST_GUILESS_MAIN(TestDemoSite)
#include "tst_demosite.moc"

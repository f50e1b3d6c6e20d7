#include "FtpTestServer.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace std::chrono_literals;

namespace
{

// "source|target|directory"
QList<Page> Pages(const QStringList &lines)
{
    QList<Page> pages;
    for (const QString &line : lines) {
        const QStringList f = line.split(u'|');
        pages.append({f.value(0), f.value(1), f.value(2)});
    }
    return pages;
}

QStringList Publish(const QString &server, const QString &password, const QStringList &pages,
                    const QList<Paragraph> &paragraphs, const QString &folder)
{
    PublishJob job;
    job.Settings.Server = server;
    job.Settings.Login = FtpTestServer::user();
    job.Settings.Password = password;
    job.Pages = Pages(pages);
    job.Paragraphs = paragraphs;
    job.Folder = folder;
    CurlFtpClient client;
    client.setTimeouts(2s, 2s);
    QStringList log;
    PublishSite(job, client, [&](const QString &line) { log.append(line); });
    return log;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The commands after the login, one group per page, each ending with the rename of the
// page's second upload.
QList<QStringList> CommandsPerPage(QStringList commands)
{
    QList<QStringList> pages(1);
    commands.remove(0, 3); // USER, PASS, PWD
    for (const QString &command : commands) {
        pages.back().append(command);
        if (command.startsWith(u"RNTO ") && pages.back().count(u"EPSV") == 3)
            pages.append(QStringList());
    }
    return pages;
}

const QByteArray IndexPage =
    "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>@{Intro}@</p>\r\n";
const QByteArray AboutPage = "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n";
const QByteArray NewsPage = "<p>@{Hours}@</p>\n";

} // namespace

class TestPublishSite : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void wholeSite();
    void failures_data();
    void failures();
};

// Three pages in two directories, one relative to the login directory and one absolute:
// every byte on the server and in the program folder, the log, and the commands sent.
void TestPublishSite::wholeSite()
{
    FtpTestServer server;
    QVERIFY2(server.start(FtpTestServer::Options::startingIn(QStringLiteral("/site"))),
             qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/site/public/index.html"), IndexPage));
    QVERIFY(server.writeFile(QStringLiteral("/site/public/about.html"), AboutPage));
    QVERIFY(server.writeFile(QStringLiteral("/archive/news.html"), NewsPage));
    QTemporaryDir folder;
    const QList<Paragraph> paragraphs{
        {"Intro", "Intro",
         QStringLiteral("Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n")},
        {"Hours", "Hours", QStringLiteral("9\u21925 <daily>")}};

    const QStringList log =
        Publish(server.address(), FtpTestServer::password(),
                {"index.html|index.html|public", "about.html|about-live.html|public",
                 "news.html|news.html|/archive"},
                paragraphs, folder.path());

    QCOMPARE(log, (QStringList{"Saving local copy", "Connecting to Server " + server.address(),
                               "Current Directory is /site", "Changing Directory to public",
                               "Current Directory is /site/public", "Getting File index.html",
                               "Putting File index.html", "Getting File about.html",
                               "Putting File about-live.html", "Changing Directory to /archive",
                               "Current Directory is /archive", "Getting File news.html",
                               "Putting File news.html", "Disconnecting", "Finished"}));

    // UTF-8 pages take the text as UTF-8; Windows-1252 pages as its bytes, with a
    // character reference where it has none.
    const QByteArray index = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n"
                             "<p>Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C"
                             "best\xE2\x80\x9D</p>\r\n";
    const QByteArray aboutLive = "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 "
                                 "\x93"
                                 "best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n";
    const QByteArray news = "<p>9&#8594;5 &lt;daily&gt;</p>\n";
    const QList<std::pair<QString, QByteArray>> onServer{
        {"/site/public/index.html", index},
        {"/site/public/about.html", AboutPage},
        {"/site/public/about-live.html", aboutLive},
        {"/archive/news.html", news}};
    for (const auto &[path, bytes] : onServer)
        QCOMPARE(server.readFile(path), bytes);
    const QList<std::pair<QString, QByteArray>> inFolder{{"index.html", index},
                                                         {"about.html", AboutPage},
                                                         {"about-live.html", aboutLive},
                                                         {"news.html", news},
                                                         {"Intro.txt",
                                                          "Fish & chips\r\nsince 1999 \x96 \x93"
                                                          "best\x94"},
                                                         {"Hours.txt", "\xEF\xBB\xBF"
                                                                       "9\xE2\x86\x92"
                                                                       "5 <daily>"}};
    for (const auto &[name, bytes] : inFolder)
        QCOMPARE(ReadFile(folder.filePath(name)), bytes);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), inFolder.size());

    const QList<QStringList> perPage = CommandsPerPage(server.commands());
    for (qsizetype i = 0; i < perPage.size(); ++i)
        qInfo().noquote() << (i < 3 ? QStringLiteral("page %1:").arg(i + 1)
                                    : QStringLiteral("after:"))
                          << perPage[i].size()
                          << "commands:" << perPage[i].join(QStringLiteral(", "));
    QCOMPARE(server.commands().mid(0, 3),
             (QStringList{"USER " + FtpTestServer::user(), "PASS ******", "PWD"}));
    // Each upload: its transfer to a temporary name, then the rename over the page.
    const auto put = [](const QString &directory, const QString &name) {
        const QString temporary = directory + QStringLiteral("/.vellumet-upload-") + name;
        return QStringList{"EPSV", "STOR " + temporary, "RNFR " + temporary,
                           "RNTO " + directory + u'/' + name};
    };
    QCOMPARE(
        perPage,
        (QList<QStringList>{
            QStringList{"CWD public", "PWD", "EPSV", "TYPE I", "RETR /site/public/index.html"} +
                put("/site/public", "index.html") + put("/site/public", "index.html"),
            QStringList{"EPSV", "RETR /site/public/about.html"} +
                put("/site/public", "about.html") + put("/site/public", "about-live.html"),
            QStringList{"CWD /archive", "PWD", "EPSV", "RETR /archive/news.html"} +
                put("/archive", "news.html") + put("/archive", "news.html"),
            {"QUIT"}}));
    QCOMPARE(server.connections(), 1);
    // No temporary file is left behind.
    QCOMPARE(QDir(server.localPath(QStringLiteral("/site/public")))
                 .entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{"about-live.html", "about.html", "index.html"}));
    QCOMPARE(
        QDir(server.localPath(QStringLiteral("/archive"))).entryList(QDir::Files | QDir::Hidden),
        QStringList{"news.html"});
}

void TestPublishSite::failures_data()
{
    QTest::addColumn<QString>("serverKind");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QStringList>("log"); // "%1" stands for the server's address

    const QString right = FtpTestServer::password();
    const QStringList start{"Saving local copy", "Connecting to Server %1",
                            "Current Directory is /"};
    const QStringList end{"Disconnecting", "Finished"};
    QTest::newRow("wrong password")
        << "ftp"
        << "wrong" << QStringList{"a.html|a.html|"}
        << QStringList{"Saving local copy", "Connecting to Server %1",
                       "ERROR Authentication failed (530) - Failed to connect to Server",
                       "Finished"};
    QTest::newRow("missing directory")
        << "ftp" << right << QStringList{"a.html|a.html|missing", "a.html|a.html|"}
        << start +
               QStringList{"Changing Directory to missing",
                           "ERROR Failed to Change Directory to missing", "Getting File a.html",
                           "Putting File a.html"} +
               end;
    QTest::newRow("missing file") << "ftp" << right
                                  << QStringList{"missing.html|missing.html|", "a.html|a.html|"}
                                  << start +
                                         QStringList{"Getting File missing.html",
                                                     "ERROR Failed to Get File missing.html",
                                                     "Getting File a.html", "Putting File a.html"} +
                                         end;
    QTest::newRow("server never answers")
        << "silent" << right << QStringList{"a.html|a.html|"}
        << QStringList{"Saving local copy", "Connecting to Server %1",
                       "ERROR The server 127.0.0.1 does not answer - Failed to connect to Server",
                       "Finished"};
    QTest::newRow("server stops answering after the login")
        << "stall CWD" << right
        << QStringList{"a.html|a.html|sub", "a.html|a.html|/", "b.html|b.html|/"}
        << start +
               QStringList{"Changing Directory to sub", "ERROR Failed to Change Directory to sub",
                           "Changing Directory to /",   "ERROR Failed to Change Directory to /",
                           "Changing Directory to /",   "ERROR Failed to Change Directory to /"} +
               end;
}

void TestPublishSite::failures()
{
    QFETCH(QString, serverKind);
    QFETCH(QString, password);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, log);

    FtpTestServer server;
    FtpTestServer::Options options;
    options.silent = serverKind == u"silent";
    if (serverKind.startsWith(u"stall "))
        options.stallOn = {serverKind.mid(6)};
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    QVERIFY(server.writeFile(QStringLiteral("/a.html"), "@{Intro}@"));
    QTemporaryDir folder;
    QElapsedTimer clock;
    clock.start();

    const QStringList written =
        Publish(server.address(), password, pages, {{"Intro", "Intro", "Hi"}}, folder.path());

    for (QString &line : log)
        line.replace(QStringLiteral("%1"), server.address());
    QCOMPARE(written, log);
    QVERIFY(clock.elapsed() < 20000);
    QCOMPARE(ReadFile(folder.filePath(QStringLiteral("Intro.txt"))), QByteArray("Hi"));
}

QTEST_GUILESS_MAIN(TestPublishSite)
#include "tst_publishsite.moc"

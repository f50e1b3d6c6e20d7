#include "CuttingProxy.h"
#include "FaultRun.h"
#include "RealServer.h"
#include "SshTestServer.h"
#include "TestSystemUser.h"

#include <QTemporaryDir>
#include <QTest>

#include <curl/curl.h>

using namespace Bakery;

namespace
{

const QFileDevice::Permissions ReadOnly =
    QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
const QFileDevice::Permissions ReadOnlyFolder =
    ReadOnly | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

// The commands that change files, with the temporary names shortened to "~name".
QStringList FileCommands(const QStringList &commands)
{
    QStringList changing;
    for (QString command : commands) {
        if (!QStringList{"STOR", "RNFR", "RNTO", "DELE"}.contains(command.section(u' ', 0, 0)))
            continue;
        changing.append(
            command.replace(QStringLiteral("/site/.vellumet-upload-"), QStringLiteral("~")));
    }
    return changing;
}

} // namespace

// Servers that refuse part of what an upload asks: renaming over an existing file,
// renaming at all, writing in the site's folder, writing the pages themselves. Each upload
// falls back to the safest way the server allows, and none ever leaves part of a page
// under its real name or a temporary file behind.
class TestServerRefusals : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void refuses_data();
    void refuses();
    void sftpRenamesOnlyToFreeNames();
};

void TestServerRefusals::refuses_data()
{
    QTest::addColumn<QString>("serverKind");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QStringList>("logMiddle");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QStringList>("fileCommands");

    const QStringList fine{"Getting File index.html", "Putting File live.html",
                           "Getting File about.html", "Putting File about.html"};
    const QStringList putsFail{"Getting File index.html",
                               "Putting File live.html",
                               "ERROR Failed to Put File live.html",
                               "Getting File about.html",
                               "Putting File about.html",
                               "ERROR Failed to Put File about.html"};

    // The first rename is refused; from then on the old page is deleted just before the
    // rename, so that no part of a page ever stands under its name.
    QTest::newRow("pyftpdlib renames only to a free name")
        << "pyftpdlib"
        << "rename over" << fine << true
        << QStringList{"STOR ~index.html",      "RNFR ~index.html",      "RNTO /site/index.html",
                       "DELE /site/index.html", "RNFR ~index.html",      "RNTO /site/index.html",
                       "STOR ~live.html",       "DELE /site/live.html",  "RNFR ~live.html",
                       "RNTO /site/live.html",  "STOR ~about.html",      "DELE /site/about.html",
                       "RNFR ~about.html",      "RNTO /site/about.html", "STOR ~about.html",
                       "DELE /site/about.html", "RNFR ~about.html",      "RNTO /site/about.html"};
    // Without renaming, straight over the page is the only way; learned once.
    const QStringList overwrite{"STOR ~index.html",      "RNFR ~index.html",
                                "STOR /site/index.html", "DELE ~index.html",
                                "STOR /site/live.html",  "STOR /site/about.html",
                                "STOR /site/about.html"};
    QTest::newRow("pyftpdlib does not know RNFR") << "pyftpdlib"
                                                  << "rename" << fine << true << overwrite;
    QTest::newRow("pure-ftpd started with --norename") << "pure-ftpd"
                                                       << "rename" << fine << true << overwrite;
    // Each upload tries the temporary name, then the page itself; both are refused.
    const QStringList bothRefused{
        "STOR ~index.html", "STOR /site/index.html", "STOR ~live.html",  "STOR /site/live.html",
        "STOR ~about.html", "STOR /site/about.html", "STOR ~about.html", "STOR /site/about.html"};
    QTest::newRow("pyftpdlib, no write permission in the folder")
        << "pyftpdlib"
        << "folder" << putsFail << false << bothRefused;
    QTest::newRow("pure-ftpd, folder and pages read-only")
        << "pure-ftpd"
        << "folder and pages" << putsFail << false << bothRefused;
    // A folder closed to new files whose pages may still be written: the pages are
    // written over, as the only way there is.
    QTest::newRow("pure-ftpd, folder read-only, pages writable")
        << "pure-ftpd"
        << "folder" << fine << true << bothRefused;
}

void TestServerRefusals::refuses()
{
    QFETCH(QString, serverKind);
    QFETCH(QString, refused);
    QFETCH(QStringList, logMiddle);
    QFETCH(bool, replaced);
    QFETCH(QStringList, fileCommands);

    RealServer server(serverKind);
    if (!server.unavailableReason().isEmpty())
        QSKIP(qPrintable(server.unavailableReason()));
    const QString site = QStringLiteral("/site");
    QVERIFY(WriteBakery(server, site));
    FtpTestServer::Options options;
    options.noRenameOver = refused == u"rename over";
    if (refused == u"rename")
        options.refuse = {QStringLiteral("RNFR")};
    if (refused == u"folder" || refused == u"folder and pages")
        options.readOnly = {site};
    QVERIFY2(
        server.start(options, refused == u"rename" ? QStringList{"--norename"} : QStringList()),
        qPrintable(server.errorString()));
    if (serverKind == u"pure-ftpd" && refused.startsWith(u"folder")) {
        QVERIFY(QFile::setPermissions(server.localPath(site), ReadOnlyFolder));
        if (refused == u"folder and pages") {
            for (const QString name : {"index.html", "live.html", "about.html"})
                QVERIFY(QFile::setPermissions(server.localPath(site + u'/' + name), ReadOnly));
        }
    }
    CuttingProxy commands; // never cuts: it only notes the commands
    QVERIFY2(commands.start(server.port(), {}), qPrintable(commands.errorString()));
    QTemporaryDir folder;

    const FaultRun run = PublishThrough(commands.address(), server.user(), server.password(),
                                        Pages(site), Typed, folder.path());

    QCOMPARE(run.log,
             QStringList({"Saving local copy", "Connecting to Server " + commands.address(),
                          "Current Directory is /", "Changing Directory to /site",
                          "Current Directory is /site"}) +
                 logMiddle + QStringList({"Disconnecting", "Finished"}));
    const QString ending = BadEnding(run);
    QVERIFY2(ending.isEmpty(), qPrintable(ending));
    const QString lost = LostText(run, Typed, folder.path());
    QVERIFY2(lost.isEmpty(), qPrintable(lost));
    QCOMPARE(FileCommands(commands.commands()), fileCommands);
    QCOMPARE(commands.commands().count(QStringLiteral("PASS ******")), 1);
    // Old pages or new ones, each whole, and nothing else.
    QCOMPARE(FilesBelow(server.localPath(QString())),
             replaced ? FilesAfter(site) : FilesBefore(site));
    QCOMPARE(server.readFile(site + QStringLiteral("/live.html")),
             replaced ? NewLivePage : OldLivePage);
    // The spliced page stays in the program folder either way.
    QCOMPARE(ReadFile(folder.filePath(QStringLiteral("live.html"))), NewLivePage);
}

// OpenSSH's SFTP server will not rename over an existing file, so the page is deleted just
// before the rename there; names are quoted in libcurl's SFTP commands.
void TestServerRefusals::sftpRenamesOnlyToFreeNames()
{
    if (!TestSystemUser::canBeMade())
        QSKIP("sshd needs a system user, and making one needs root");
    SshTestServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString quoted = QStringLiteral("/site/say \"hi\".html");
    QVERIFY(server.writeFile(QStringLiteral("/site/index.html"), IndexTemplate));
    QVERIFY(server.writeFile(QStringLiteral("/site/live.html"), OldLivePage));
    QVERIFY(server.writeFile(QStringLiteral("/site/about.html"), AboutTemplate));
    QVERIFY(server.writeFile(quoted, AboutTemplate));
    QTemporaryDir folder;
    QFile trust(folder.filePath(QStringLiteral("vellumet-trust.txt")));
    QVERIFY(trust.open(QIODevice::WriteOnly));
    trust.write("127.0.0.1 " + server.fingerprint().toLatin1() + "\r\n");
    trust.close();

    const FaultRun run = PublishThrough(
        QStringLiteral("sftp://") + server.address(), TestSystemUser::name(),
        TestSystemUser::password(), Pages() << QStringLiteral("say \"hi\".html|say \"hi\".html|"),
        Typed, folder.path());

    QCOMPARE(run.log.filter(QStringLiteral("ERROR")), QStringList());
    const QString ending = BadEnding(run);
    QVERIFY2(ending.isEmpty(), qPrintable(ending));
    QCOMPARE(server.readFile(QStringLiteral("/site/live.html")), NewLivePage);
    QCOMPARE(server.readFile(QStringLiteral("/site/about.html")), NewAboutPage);
    QCOMPARE(server.readFile(quoted), NewAboutPage);
    QCOMPARE(FilesBelow(server.localPath(QStringLiteral("/site"))),
             FilesAfter() << "/say \"hi\".html: " + QString::number(NewAboutPage.size()));
    QCOMPARE(server.connections(), 1);
}

QTEST_GUILESS_MAIN(TestServerRefusals)
#include "tst_serverrefusals.moc"

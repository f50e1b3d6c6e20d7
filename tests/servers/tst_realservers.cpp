#include "FtpTestServer.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>

#include <curl/curl.h>

#include <unistd.h>

using namespace vellumet;

using namespace std::chrono_literals;
using Kind = FtpTestServer::Kind;
using Setup = QMap<QString, QString>;
Q_DECLARE_METATYPE(Kind)

namespace
{

// Big enough that a cut after 50,000 bytes falls inside every transfer of its page.
const QByteArray Filler = "<!-- " + QByteArray(200000, 'x') + " -->\r\n";
const QByteArray Head = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>";
const QByteArray Template = Head + "@{Intro}@</p>\r\n" + Filler;
const QString News = QStringLiteral("say \"hi\" \u00FC.html");
const Setup pages{{"index", "index.html|live.html|public"},
                  {"about", "about.html|about.html|public"},
                  {"news", News + "|" + News + "|/a b%#\"q\""}};
// Each file on the server before and after a whole publish; index.html comes back as it was.
struct Target {
    QString path;
    QByteArray before, after;
};
const QList<Target> Targets{
    {"/site/public/index.html", Template, Template},
    {"/site/public/live.html", "<p>old</p>\r\n",
     Head +
         "Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C"
         "best\xE2\x80\x9D</p>\r\n" +
         Filler},
    {"/site/public/about.html", "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n",
     "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 \x93"
     "best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n"},
    {"/a b%#\"q\"/" + News, "<p>@{Hours}@</p>\n", "<p>9&#8594;5 &lt;daily&gt;</p>\n"}};
const QList<Paragraph> Typed{
    {"Intro", "Intro", QStringLiteral("Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n")},
    {"Hours", "Hours", QStringLiteral("9\u21925 <daily>")}};

// A logged-in run's log from short steps ("cd D", "get F", "put F", "!" when the step
// fails, or a whole line) between the lines of saving, connecting and disconnecting.
QStringList Connected(const QString &steps, bool copiesFail = false)
{
    static const QMap<QString, QStringList> verbs{{"cd", {"Changing", "Change", "Directory to "}},
                                                  {"get", {"Getting", "Get", "File "}},
                                                  {"put", {"Putting", "Put", "File "}}};
    QStringList log{"Saving local copy"};
    if (copiesFail)
        log << "ERROR Failed to Save Local Copy Intro.txt - ..."
            << "ERROR Failed to Save Local Copy Hours.txt - ...";
    log << "Connecting to Server %s"
        << "Current Directory is /site";
    for (const QString &step : steps.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        const QString verb = step.section(u' ', 0, 0), name = step.section(u' ', 1);
        const QStringList v = verbs.value(verb.endsWith(u'!') ? verb.chopped(1) : verb);
        if (v.isEmpty()) {
            log << step;
            continue;
        }
        log << v[0] + u' ' + v[2] + name;
        if (verb.endsWith(u'!'))
            log << "ERROR Failed to " + v[1] + u' ' + v[2] + name;
        else if (verb == u"cd")
            log << "Current Directory is " + (name.startsWith(u'/') ? name : "/site/" + name);
    }
    return log << "Disconnecting"
               << "Finished";
}

QStringList Refused(const QString &error)
{
    return {"Saving local copy", "Connecting to Server %s",
            "ERROR " + error + " - Failed to connect to Server", "Finished"};
}

QStringList FilesBelow(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next().mid(folder.size());
    return files;
}

QStringList Run(const Setup &set, FtpTestServer &server, const QString &folder)
{
    PublishJob job{{}, {}, Typed, folder};
    job.settings.server = set.value("server", server.url()).replace("%a", server.address());
    job.settings.login = FtpTestServer::user();
    job.settings.password = set.value("password", FtpTestServer::password());
    for (const QString &page : set.value("pages", "index,about,news").split(u',')) {
        const QStringList p = pages.value(page, page).split(u'|');
        job.pages.append({p[0], p[1], p[2]});
    }
    CurlFtpClient client(folder);
    client.setTimeouts(2s, 2s);
    if (set.value("trust") == u"authority")
        client.setCertificateAuthorities(server.authority());
    QStringList log;
    const PublishOutcome outcome = publishSite(job, client, [&](const QString &l) { log << l; });
    // Nothing typed is lost: each text is in its local copy, or the log says it is not.
    for (qsizetype i = 0; i < Typed.size(); ++i) {
        const QString &name = Typed[i].name;
        const QString text = trimTrailingBreaks(Typed[i].text);
        if (outcome.paragraphs.value(i).text != text ||
            (decodeLocalCopy(readTestFile(localCopyPath(folder, name))) != text &&
             log.filter("ERROR Failed to Save Local Copy " + name).isEmpty()))
            return {name + " was lost"};
    }
    for (QString &line : log) { // what varies from run to run
        line.replace(job.settings.server, "%s").replace(server.address(), "%a");
        if (!server.pin().isEmpty())
            line.replace(server.pin(), "%pin");
    }
    return log;
}

// Each page on the server is whole, the new one or the old, and nothing else is there but
// what a broken upload left under a temporary name.
void CheckServer(const QStringList &replaced, const FtpTestServer &server, bool leftovers)
{
    QStringList files = FilesBelow(server.localPath({}));
    for (const Target &t : Targets) {
        QCOMPARE(server.readFile(t.path),
                 replaced.contains(t.path.section(u'/', -1)) ? t.after : t.before);
        files.removeOne(t.path);
    }
    if (leftovers)
        files = files.filter(QRegularExpression("^(?!.*/\\.vellumet-upload-)"));
    QCOMPARE(files, QStringList());
}

} // namespace

// Every real server the program meets, each publishing one small site in one scenario:
// the whole site checked byte for byte, and the refusals, cuts, stalls and local faults
// that must end with a named ERROR, whole files on both sides and nothing typed lost.
class TestRealServers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK); }
    void cleanupTestCase() { curl_global_cleanup(); }
    void publish_data();
    void publish();
    void connections();
};

void TestRealServers::publish_data()
{
    QTest::addColumn<Kind>("kind");
    // "--option=value" for the server; pages (of Pages, or "source|target|directory"),
    // server (%a its address), password, trust ("authority", or the trust file; TLS and
    // SSH pin the server's key by default) and disk ("read-only", or a small tmpfs's size)
    // for the run.
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("log"); // "%s" SERVER, "%a" its address, "%pin" its key
    const QString all = "cd public; get index.html; put live.html; get about.html; put about.html; "
                        "cd /a b%#\"q\"; get " +
                        News + "; put " + News;
    const QString getFails = "cd public; get! index.html; get! about.html";
    const QString putFails = "cd public; get index.html; put! live.html; get! about.html";
    const QString missing =
        "cd! missing; cd public; get! gone.html; get about.html; put about.html";
    const char *missingPages = "pages=a.html|a.html|missing,gone.html|gone.html|public,about";
    const QString two = "; pages=index,about";

    row("FTP, whole site", Kind::Ftp, "", Connected(all));
    row("FTPS explicit, whole site, signed by an authority", Kind::FtpsExplicit, "trust=authority",
        Connected(all));
    row("FTPS implicit, whole site, key pinned", Kind::FtpsImplicit, "", Connected(all));
    // OpenSSH renames only to a free name, and takes names in quotes.
    row("SFTP, whole site, host key pinned", Kind::Sftp, "", Connected(all));
    row("FTP, wrong password", Kind::Ftp, "password=no", Refused("Authentication failed (530)"));
    row("SFTP, wrong password", Kind::Sftp, "password=no",
        Refused("The server 127.0.0.1 refused the login name or password"));
    row("FTP, missing directory and file", Kind::Ftp, missingPages, Connected(missing));
    row("SFTP, missing directory and file", Kind::Sftp, missingPages, Connected(missing));
    row("nothing listening", Kind::Ftp, "server=127.0.0.1:1",
        Refused("Could not reach 127.0.0.1 (connection refused)"));
    row("malformed address", Kind::Ftp, "server=ftp://a/b",
        Refused("The server address \"%s\" is not valid; ..."));

    // The link breaks or goes quiet: the step fails, and every later one at once.
    row("server never answers", Kind::Ftp, "--silent",
        Refused("The server 127.0.0.1 does not answer"));
    row("reset while the page comes down", Kind::Ftp, "--cut=RETR:1:50000" + two,
        Connected(getFails));
    row("silence while the page comes down", Kind::Ftp, "--cut=RETR:1:50000:stall" + two,
        Connected(getFails));
    row("reset while the page goes up", Kind::Ftp, "--cut=STOR:1:50000" + two, Connected(putFails));
    row("reset between upload and rename", Kind::Ftp, "--cut=RNFR:1" + two, Connected(putFails));
    row("silence at a change of directory", Kind::Ftp, "--stall-on=CWD",
        Connected("cd! public; cd! public; cd! /a b%#\"q\""));
    row("silence at the rename", Kind::Ftp, "--stall-on=RNFR" + two, Connected(putFails));

    // Servers that refuse part of the way an upload replaces a page.
    row("renames only to a free name", Kind::Ftp, "--no-rename-over", Connected(all));
    row("refuses renaming", Kind::Ftp, "--refuse=RNFR", Connected(all));
    row("refuses temporary files", Kind::Ftp, "--refuse=.vellumet-upload-", Connected(all));
    row("refuses every upload", Kind::Ftp, "--refuse=STOR",
        Connected(QString(all).replace("put ", "put! ")));

    // The program folder fails: only whole files are written there.
    row("read-only program folder", Kind::Ftp, "disk=read-only" + two, Connected(getFails, true));
    // Small pages are refused only as they are closed, large ones as they are written.
    row("full disk", Kind::Ftp, "disk=4096; pages=about,index",
        Connected("cd public; get! about.html; get! index.html", true));
    row("room for the fetched page, not the spliced one", Kind::Ftp, "disk=300000" + two,
        Connected("cd public; get index.html; ERROR Failed to Write File live.html - No space left "
                  "on device; get about.html; put about.html"));

    // A server that cannot prove it is the real one, or will not encrypt, hears no login;
    // the line to pin the key it showed is given (the exact words: tst_connectiontext).
    const QString pinIt = ", so ... no login was sent. ... \"127.0.0.1 %pin\" to "
                          "vellumet-trust.txt beside vellumet.ini";
    const QString changed = " of 127.0.0.1 is not the one pinned in vellumet-trust.txt: ... No "
                            "login was sent. ... replace the pin with \"127.0.0.1 %pin\"";
    row("FTPS explicit, self-signed certificate", Kind::FtpsExplicit,
        "--certificate=self-signed; trust=",
        Refused("The certificate of 127.0.0.1 is self-signed" + pinIt));
    row("FTPS explicit, certificate for another host name", Kind::FtpsExplicit,
        "--certificate=other-name; trust=authority",
        Refused("The certificate of 127.0.0.1 was issued for another host name" + pinIt));
    row("FTPS implicit, pinned key changed", Kind::FtpsImplicit,
        "trust=# our host\r\nftps://127.0.0.1 sha256//WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlo=",
        Refused("The key" + changed));
    row("FTPS explicit, server without TLS", Kind::Ftp, "server=ftpes://%a",
        Refused("The server 127.0.0.1 does not offer encryption (it refused AUTH TLS), so no login "
                "was sent. ..."));
    row("FTPS implicit, server without TLS", Kind::Ftp, "server=ftps://%a",
        Refused("Could not set up an encrypted connection with 127.0.0.1 (...). Check that the "
                "server offers implicit TLS on port ..."));
    row("SFTP, host key not pinned", Kind::Sftp,
        "trust=", Refused("The SSH host key of 127.0.0.1 is not pinned" + pinIt));
    row("SFTP, host key changed", Kind::Sftp,
        "trust=127.0.0.1 SHA256:WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlo",
        Refused("The SSH host key" + changed));
    row("trust file not understood", Kind::FtpsExplicit, "trust=127.0.0.1 sha256//abc\n",
        Refused("vellumet-trust.txt, line 1, is not a host name and a key such as ..."));
}

void TestRealServers::publish()
{
    QFETCH(Kind, kind);
    QFETCH(QString, setup);
    QFETCH(QStringList, log);
    Setup set;
    QStringList options{"--start-dir=/site"};
    for (const QString &item : setup.split(QStringLiteral("; "), Qt::SkipEmptyParts))
        item.startsWith(u"--") ? void(options << item)
                               : void(set.insert(item.section(u'=', 0, 0), item.section(u'=', 1)));
    const QString disk = set.value("disk");
    if (kind == Kind::Sftp && geteuid() != 0)
        QSKIP("sshd needs root");
    if (disk == u"read-only" && geteuid() == 0)
        QSKIP("root writes anywhere; tst_realservers_readonly runs this as nobody");
    FtpTestServer server(kind);
    for (const Target &target : Targets)
        QVERIFY(server.writeFile(target.path, target.before));
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    QTemporaryDir folder;
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-lq", folder.path()}); });
    if (disk == u"read-only")
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    else if (!disk.isEmpty() && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + disk,
                                                            "tmpfs", folder.path()}) != 0)
        QSKIP("a small tmpfs takes root to mount");
    if (disk == u"4096") // leaves no room at all
        writeTestFile(folder.filePath("filler"), QByteArray(4096, 'f'));
    const QString trust = set.value("trust", kind == Kind::Ftp ? "" : "127.0.0.1 " + server.pin());
    if (trust.contains(u' '))
        QVERIFY(writeTestFile(folder.filePath("vellumet-trust.txt"), trust.toUtf8()));
    QElapsedTimer clock;
    clock.start();

    const QStringList got = Run(set, server, folder.path());

    QVERIFY2(clock.elapsed() < 10000, "one time-out of 2 s at most");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString pattern = QRegularExpression::escape(log.join(u'\n')).replace("\\.\\.\\.", ".*");
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                 .match(got.join(u'\n'))
                 .hasMatch(),
             qPrintable(got.join(u'\n')));
    QVERIFY(server.logins() <= 1); // a refused login is not tried again
    if (!got.filter("Current Directory is").isEmpty())
        QCOMPARE((QList<int>{server.connections(), server.logins()}), (QList<int>{1, 1}));
    if (!got.filter("no login was sent").isEmpty())
        QCOMPARE(server.logins(), 0);
    // Every page in the program folder is whole: as fetched or as spliced.
    for (const QString &file : FilesBelow(folder.path())) {
        const QByteArray bytes = readTestFile(folder.path() + file);
        QVERIFY2(file.endsWith(u".txt") || file == u"/filler" ||
                     std::any_of(Targets.begin(), Targets.end(),
                                 [&](const Target &t) {
                                     return t.path.endsWith(file) &&
                                            (bytes == t.before || bytes == t.after);
                                 }),
                 qPrintable(file));
    }
    QStringList replaced; // what the log says was put
    for (qsizetype i = 0; i < got.size(); ++i)
        if (got[i].startsWith(u"Putting File ") && !got.value(i + 1).startsWith(u"ERROR"))
            replaced << got[i].mid(13);
    const bool broken = options.size() > 1 &&
                        (options[1].startsWith(u"--cut") || options[1].startsWith(u"--stall"));
    CheckServer(replaced, server, broken);
    if (!broken)
        return;
    // What a broken link left, the next run over a sound one puts right.
    server.stop();
    QVERIFY2(server.start({"--start-dir=/site"}), qPrintable(server.errorString()));
    QCOMPARE(Run(set, server, folder.path()).filter("ERROR"), QStringList());
    replaced.clear();
    for (const QString &page : set.value("pages", "index,about,news").split(u','))
        replaced << pages.value(page, page).section(u'|', 1, 1);
    CheckServer(replaced, server, false);
}

// Several connections, fewer than asked for, publish a site as one does, in the same words.
void TestRealServers::connections()
{
    const QString news = "/a b%#\"q\"";
    const QStringList expected = Connected(
        "cd! missing; cd public; get index.html; put live.html; get about.html; put about.html; "
        "cd " +
        news + "; get " + News + "; put " + News + "; cd /site/public; get! gone.html");
    for (const int connections : {1, 8}) {
        FtpTestServer server(Kind::Ftp);
        for (const Target &target : Targets)
            QVERIFY(server.writeFile(target.path, target.before));
        QVERIFY2(server.start({"--start-dir=/site", "--max-logins=3"}),
                 qPrintable(server.errorString()));
        QTemporaryDir folder;
        PublishJob job{{}, {}, Typed, folder.path()};
        job.settings.server = server.url();
        job.settings.login = FtpTestServer::user();
        job.settings.password = FtpTestServer::password();
        job.settings.connections = connections;
        for (const QString &page :
             QStringList{"a.html|a.html|missing", pages["index"], pages["about"], pages["news"],
                         "gone.html|gone.html|public"})
            job.pages.append(
                {page.section(u'|', 0, 0), page.section(u'|', 1, 1), page.section(u'|', 2)});
        const auto client = [&] {
            auto ftp = std::make_unique<CurlFtpClient>(folder.path());
            ftp->setTimeouts(2s, 2s);
            return ftp;
        };
        QStringList log;
        publishSite(
            job, *client(),
            [&](const QString &line) { log << QString(line).replace(server.url(), "%s"); }, nullptr,
            client);
        QCOMPARE(log, expected);
        QCOMPARE(server.logins(), connections > 1 ? 3 : 1);
        CheckServer({"live.html", "about.html", News}, server, false);
    }
}

QTEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"

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

#include <thread>

#include <unistd.h>

using namespace vellumet;

using namespace std::chrono_literals;
using Kind = FtpTestServer::Kind;
Q_DECLARE_METATYPE(Kind)

namespace
{

// Big enough that a cut after 50,000 bytes falls inside every transfer of its page.
const QByteArray Filler = "<!-- " + QByteArray(200000, 'x') + " -->\r\n";
const QByteArray Head = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>";
const QByteArray Template = Head + "@{Intro}@</p>\r\n" + Filler;
const QString News = QStringLiteral("say \"hi\" \u00FC.html");
const QMap<QString, QString> Pages{{"index", "index.html|live.html|public"},
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
     Head + "Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C" +
         "best\xE2\x80\x9D</p>\r\n" + Filler},
    {"/site/public/about.html", "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n",
     "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 \x93"
     "best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n"},
    {"/a b%#\"q\"/" + News, "<p>@{Hours}@</p>\n", "<p>9&#8594;5 &lt;daily&gt;</p>\n"}};
const QList<Paragraph> Typed{
    {"Intro", "Intro", QStringLiteral("Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n")},
    {"Hours", "Hours", QStringLiteral("9\u21925 <daily>")}};

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next().mid(folder.size());
    return files;
}

// The run's log with what varies from run to run as "%s" (SERVER), "%a" and "%pin".
QStringList run(const QMap<QString, QString> &set, FtpTestServer &server, const QString &folder)
{
    PublishJob job{{}, {}, Typed, folder};
    job.settings.server = set.value("server", server.url()).replace("%a", server.address());
    job.settings.login = FtpTestServer::user();
    job.settings.password = set.value("password", FtpTestServer::password());
    for (const QString &page : set.value("pages", "index,about,news").split(u',')) {
        const QStringList p = Pages.value(page, page).split(u'|');
        job.pages.append({p[0], p[1], p[2]});
    }
    CurlFtpClient client(folder);
    client.setBounds({2s, 2s, 1024, 2s});
    if (set.value("trust") == u"authority")
        client.setCertificateAuthorities(server.authority());
    QStringList log;
    const PublishOutcome outcome = publishSite(job, client, [&](const QString &l) { log << l; });
    // Nothing typed is lost: each text is in its local copy, or the log says it is not.
    for (qsizetype i = 0; i < Typed.size(); ++i) {
        const QString &name = Typed[i].name, text = trimTrailingBreaks(Typed[i].text);
        if (outcome.paragraphs.value(i).text != text ||
            (decodeLocalCopy(readTestFile(localCopyPath(folder, name))) != text &&
             log.filter("ERROR Failed to Save Local Copy " + name).isEmpty()))
            return {name + " was lost"};
    }
    for (QString &line : log) {
        line.replace(job.settings.server, "%s").replace(server.address(), "%a");
        if (!server.pin().isEmpty())
            line.replace(server.pin(), "%pin");
    }
    return log;
}

// Each page on the server is whole, the new one if the log says it was put, else the old,
// and nothing else is there but what a broken upload left under a temporary name.
void checkServer(const QStringList &log, const FtpTestServer &server, bool leftovers)
{
    QStringList files = filesBelow(server.localPath({}));
    for (const Target &t : Targets) {
        const qsizetype put = log.indexOf("Putting File " + t.path.section(u'/', -1));
        const bool replaced = put >= 0 && !log.value(put + 1).startsWith(u"ERROR");
        QCOMPARE(server.readFile(t.path), replaced ? t.after : t.before);
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
    void hostileServers_data();
    void hostileServers();
};

void TestRealServers::publish_data()
{
    QTest::addColumn<Kind>("kind");
    // "--option=value" for the server; pages (of Pages, or "source|target|directory"),
    // server (%a its address), password, trust ("authority", or the trust file; TLS and
    // SSH pin the server's key by default) and disk ("read-only", or a small tmpfs's size)
    // for the run.
    QTest::addColumn<QString>("setup");
    // The steps that fail, in order ("; " between, "..." any text); "!" a refused connection.
    QTest::addColumn<QString>("errors");
    const QString two = "; pages=index,about", putFails = "Put File live.html; Get File about.html";
    const char *missing = "pages=a.html|a.html|missing,gone.html|gone.html|public,about";
    const QString missed = "Change Directory to missing; Get File gone.html";
    const QString notSaved = "Save Local Copy Intro.txt - ...; Save Local Copy Hours.txt - ...; ";
    // A server that cannot prove it is the real one, or will not encrypt, hears no login;
    // the line to pin the key it showed is given (the exact words: tst_connectiontext).
    const QString pinIt = ", so ... no login was sent. ... \"127.0.0.1 %pin\" to "
                          "vellumet-trust.txt beside vellumet.ini";
    const QString changed = " of 127.0.0.1 is not the one pinned in vellumet-trust.txt: ... No "
                            "login was sent. ... replace the pin with \"127.0.0.1 %pin\"";
    const QString zz = "WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWl";

    row("FTP, whole site", Kind::Ftp, "", "");
    row("FTPS explicit, whole site, signed by an authority", Kind::FtpsExplicit, "trust=authority",
        "");
    row("FTPS implicit, whole site, key pinned", Kind::FtpsImplicit, "", "");
    // OpenSSH renames only to a free name, and takes names in quotes.
    row("SFTP, whole site, host key pinned", Kind::Sftp, "", "");
    row("FTP, wrong password", Kind::Ftp, "password=no", "!Authentication failed (530)");
    row("SFTP, wrong password", Kind::Sftp, "password=no",
        "!The server 127.0.0.1 refused the login name or password");
    row("FTP, missing directory and file", Kind::Ftp, missing, missed);
    row("SFTP, missing directory and file", Kind::Sftp, missing, missed);
    row("nothing listening", Kind::Ftp, "server=127.0.0.1:1",
        "!Could not reach 127.0.0.1 (connection refused)");
    row("malformed address", Kind::Ftp, "server=ftp://a/b",
        "!The server address \"%s\" is not valid; ...");
    // The link breaks or goes quiet: the step fails, and every later one at once.
    row("server never answers", Kind::Ftp, "--silent", "!The server 127.0.0.1 does not answer");
    // The first upload is the fetched template going back, the second the new page.
    row("reset while the page goes up", Kind::Ftp, "--cut=STOR:2:50000" + two, putFails);
    row("silence at a change of directory", Kind::Ftp, "--stall-on=CWD",
        "Change Directory to public; Change Directory to public; Change Directory to /a b%#\"q\"");
    row("silence at the rename", Kind::Ftp, "--stall-on=RNFR" + two, putFails);
    // Servers that refuse part of the way an upload replaces a page.
    row("renames only to a free name", Kind::Ftp, "--no-rename-over", "");
    // A refused rename fails its page; never a straight upload that a reader sees half of.
    row("refuses renaming", Kind::Ftp, "--refuse=RNFR",
        "Put File live.html; Put File about.html; Put File " + News);
    row("refuses every upload", Kind::Ftp, "--refuse=STOR",
        "Put File live.html; Put File about.html; Put File " + News);
    // The program folder fails: only whole files are written there. Small pages are
    // refused only as they are closed, large ones as they are written.
    row("read-only program folder", Kind::Ftp, "disk=read-only" + two,
        notSaved + "Get File index.html; Get File about.html");
    row("full disk", Kind::Ftp, "disk=4096; pages=about,index",
        notSaved + "Get File about.html; Get File index.html");
    row("room for the fetched page, not the spliced one", Kind::Ftp, "disk=300000" + two,
        "Write File live.html - No space left on device");
    row("FTPS explicit, certificate for another host name", Kind::FtpsExplicit,
        "--certificate=other-name; trust=authority",
        "!The certificate of 127.0.0.1 was issued for another host name" + pinIt);
    row("FTPS implicit, pinned key changed", Kind::FtpsImplicit,
        "trust=# our host\r\nftps://127.0.0.1 sha256//" + zz + "o=", "!The key" + changed);
    row("FTPS explicit, server without TLS", Kind::Ftp, "server=ftpes://%a",
        "!The server 127.0.0.1 does not offer encryption (it refused AUTH TLS), so no login was "
        "sent. ...");
    row("FTPS implicit, server without TLS", Kind::Ftp, "server=ftps://%a",
        "!Could not set up an encrypted connection with 127.0.0.1 (...). Check that the server "
        "offers implicit TLS on port ...");
    row("SFTP, host key not pinned", Kind::Sftp,
        "trust=", "!The SSH host key of 127.0.0.1 is not pinned" + pinIt);
    row("SFTP, host key changed", Kind::Sftp, "trust=127.0.0.1 SHA256:" + zz + "o",
        "!The SSH host key" + changed);
    row("trust file not understood", Kind::FtpsExplicit, "trust=127.0.0.1 sha256//abc\n",
        "!vellumet-trust.txt, line 1, is not a host name and a key such as ...");
}

void TestRealServers::publish()
{
    QFETCH(Kind, kind);
    QFETCH(QString, setup);
    QFETCH(QString, errors);
    QMap<QString, QString> set;
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
    const QStringList got = run(set, server, folder.path());
    QVERIFY2(clock.elapsed() < 10000, "one time-out of 2 s at most");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QStringList want;
    if (errors.startsWith(u'!'))
        want << "ERROR " + errors.mid(1) + " - Failed to connect to Server";
    else
        for (const QString &step : errors.split(QStringLiteral("; "), Qt::SkipEmptyParts))
            want << "ERROR Failed to " + step;
    const QString pattern = QRegularExpression::escape(want.join(u'\n')).replace("\\.\\.\\.", ".*");
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                 .match(got.filter(QRegularExpression("^ERROR")).join(u'\n'))
                 .hasMatch(),
             qPrintable(got.join(u'\n')));
    QCOMPARE(got.last(), u"Finished");
    QVERIFY(server.logins() <= 1); // a refused login is not tried again
    if (!got.filter("Current Directory is").isEmpty())
        QCOMPARE((QList<int>{server.connections(), server.logins()}), (QList<int>{1, 1}));
    if (!got.filter("no login was sent").isEmpty())
        QCOMPARE(server.logins(), 0);
    // Every page in the program folder is whole: as fetched or as spliced.
    for (const QString &file : filesBelow(folder.path())) {
        const QByteArray bytes = readTestFile(folder.path() + file);
        QVERIFY2(file.endsWith(u".txt") || file == u"/filler" ||
                     std::any_of(Targets.begin(), Targets.end(),
                                 [&](const Target &t) {
                                     return t.path.endsWith(file) &&
                                            (bytes == t.before || bytes == t.after);
                                 }),
                 qPrintable(file));
    }
    // Each page of the run is put, or an ERROR says what stopped it.
    const qsizetype pages = set.value("pages", "index,about,news").count(u',') + 1;
    if (errors.isEmpty())
        QCOMPARE(got.filter("Putting File ").size(), pages);
    const bool broken =
        options.value(1).startsWith(u"--cut") || options.value(1).startsWith(u"--stall");
    checkServer(got, server, broken);
    if (!broken)
        return;
    // What a broken link left, the next run over a sound one puts right; the broken run's
    // temporary files, named for that run alone, stay.
    server.stop();
    QVERIFY2(server.start({"--start-dir=/site"}), qPrintable(server.errorString()));
    const QStringList again = run(set, server, folder.path());
    QVERIFY(again.filter("ERROR").isEmpty() && again.filter("Putting File ").size() == pages);
    checkServer(again, server, true);
}

namespace
{

const QByteArray Template40k = "<p>@{Intro}@</p>\r\n" + QByteArray(40000, 'x');
QByteArray LivePage(const QByteArray &text)
{
    return "<p>" + text + "</p>\r\n" + QByteArray(40000, 'x');
}
// Two runs' texts: pages of different lengths, so that one written into the other shows.
QByteArray RunText(int run)
{
    return "run " + QByteArray::number(run) + QByteArray(run * 10000, 'y');
}

// hostile_ftp_server.py in one mode, serving index.html (a template) and live.html in /site.
struct HostileServer {
    QTemporaryDir dir;
    QProcess process;
    QString address, pin;
    HostileServer(const QString &mode, const QByteArray &index)
    {
        writeTestFile(dir.filePath("site/index.html"), index);
        writeTestFile(dir.filePath("site/live.html"), LivePage("old"));
        process.start("/usr/bin/python3", {qEnvironmentVariable("VELLUMET_SOURCE_DIR") +
                                               "/tests/support/hostile_ftp_server.py",
                                           dir.path(), mode});
        process.waitForReadyRead(15000);
        const QList<QByteArray> line = process.readLine().trimmed().split(' ');
        address = "127.0.0.1:" + line.value(1);
        pin = QString::fromLatin1(line.value(2));
    }
    ~HostileServer()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished();
    }
    QByteArray live() const { return readTestFile(dir.filePath("site/live.html")); }
};

// Hands each step to the real client and writes the reason of each failed transfer into
// the log, in brackets, where the run writes only that the step failed.
class Telling final : public FtpClient
{
public:
    Telling(FtpClient &to, QStringList &log) : to_(to), log_(log) {}
    Result<> connect(const QString &s, const QString &l, const QString &p) override
    {
        return to_.connect(s, l, p);
    }
    QString currentDirectory() override { return to_.currentDirectory(); }
    Result<> changeDir(const QString &path) override { return to_.changeDir(path); }
    Result<> getFile(const QString &n, const QString &f) override
    {
        return told(to_.getFile(n, f));
    }
    Result<> putFile(const QString &l, const QString &r) override
    {
        return told(to_.putFile(l, r));
    }
    void disconnect() override { to_.disconnect(); }
    QString takeNotice() override { return to_.takeNotice(); }

private:
    Result<> told(Result<> result)
    {
        if (!result)
            log_ << u'(' + result.error() + u')';
        return result;
    }
    FtpClient &to_;
    QStringList &log_;
};

} // namespace

// Servers that drip, stream without end, send nothing, name odd directories, will not
// rename or encrypt, and two runs at once: each run ends in seconds with its ERROR line,
// the live page is always whole, and nothing the server sends is written past the cap.
void TestRealServers::hostileServers_data()
{
    QTest::addColumn<QString>("mode");  // hostile_ftp_server.py's
    QTest::addColumn<QString>("setup"); // server (%a), index ("" empty), step (s), runs
    QTest::addColumn<QString>("log");   // after "Connecting to Server"; "..." anything
    QTest::addColumn<bool>("replaced"); // live.html is a new page, whole
    const QString got = "Current Directory is /site; Getting File index.html; ";
    const QString stalled =
        got + "(The server 127.0.0.1 stopped answering); ERROR Failed to Get File index.html";
    const QString refused = " - Failed to connect to Server; Finished";
    row("slow drip", "drip:10:0.3", "", stalled, false);
    row("drip above the low-speed limit, held by the step's bound", "drip:10:0.1", "step=2",
        stalled, false);
    row("endless page", "endless", "",
        got + "(The file index.html on the server is larger than 100000 bytes); ERROR Failed to "
              "Get File index.html",
        false);
    row("empty page", "plain", "index=", got + "ERROR Empty File index.html", false);
    row("'..' in the directory named", "pwd:257 \"/elsewhere/../site\" is current", "",
        "Current Directory is /elsewhere/../site; Getting File index.html; Putting File live.html",
        true);
    row("line break in the directory named", "pwd:257 \"/si\\rte\"", "",
        "ERROR The server 127.0.0.1 named its directory with a line break, which no command can "
        "carry: /si\\rte" +
            refused,
        false);
    row("server without RNFR", "rnfr:502 Command not implemented", "",
        got + "Putting File live.html; The server 127.0.0.1 cannot rename files, so pages are "
              "stored straight over the old ones (RNFR: Command not implemented (502))",
        true);
    row("RNFR refused", "rnfr:550 Permission denied", "",
        got + "Putting File live.html; (The server refused to put the new index.html in place of "
              "the old one: Permission denied (550)); (...); ERROR Failed to Put File live.html",
        false);
    row("PROT P refused after the login", "prot", "server=ftpes://%a",
        "ERROR The server 127.0.0.1 took the login over the encrypted connection, then refused to "
        "encrypt file transfers (PROT P: PROT P not allowed here (534)), so no file was sent or "
        "fetched. Ask the host to allow encrypted transfers" +
            refused,
        false);
    row("user and password in SERVER", "plain", "server=ftp://me:s3cret@%a",
        "ERROR SERVER must not hold a user name or password; use LOGIN and PASSWORD" + refused,
        false);
    row("two runs at once, slow uploads", "slow-stor:0.02", "runs=2",
        got + "Putting File live.html", true);
}

void TestRealServers::hostileServers()
{
    QFETCH(QString, mode);
    QFETCH(QString, setup);
    QFETCH(QString, log);
    QFETCH(bool, replaced);
    QMap<QString, QString> set;
    for (const QString &item : setup.split(QStringLiteral("; "), Qt::SkipEmptyParts))
        set.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    HostileServer server(mode, set.value("index", Template40k).toUtf8());
    QVERIFY2(!server.pin.isEmpty(), "the server did not start");
    const QString serverValue = set.value("server", "%a").replace("%a", server.address);
    std::atomic_bool seenHalf = false, done = false;
    std::thread reader([&] { // the page as a browser would fetch it, every 20 ms
        for (; !done; std::this_thread::sleep_for(20ms))
            seenHalf = seenHalf ||
                       !QList{LivePage("old"), LivePage(RunText(0)), LivePage(RunText(1))}.contains(
                           server.live());
    });
    const int runs = set.value("runs", "1").toInt();
    QList<QStringList> logs(runs);
    QList<std::shared_ptr<QTemporaryDir>> folders;
    std::vector<std::thread> threads;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < runs; ++i) {
        folders << std::make_shared<QTemporaryDir>();
        if (server.pin != u"-")
            writeTestFile(folders[i]->filePath("vellumet-trust.txt"),
                          ("127.0.0.1 " + server.pin).toUtf8());
        threads.emplace_back([&, i] {
            PublishJob job{{},
                           {{"index.html", "live.html", ""}},
                           {{"Intro", "", QString::fromLatin1(RunText(i))}},
                           folders[i]->path()};
            job.settings.server = serverValue;
            job.settings.login = "me";
            job.settings.password = "s3cret";
            CurlFtpClient::Bounds bounds{2s, 2s, 1024, 1s, 20s, 100000};
            if (set.contains("step")) // only the step's bound can end the drip
                bounds = {2s, 2s, 1, 20s, std::chrono::seconds(set.value("step").toInt())};
            CurlFtpClient client(folders[i]->path());
            client.setBounds(bounds);
            Telling telling(client, logs[i]);
            publishSite(job, telling, [&](const QString &line) { logs[i] << line; });
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    done = true;
    reader.join();

    QVERIFY2(clock.elapsed() < 8000, "every bound is a few seconds in this test");
    QVERIFY(!seenHalf);
    QVERIFY(replaced ? server.live() != LivePage("old") : server.live() == LivePage("old"));
    QCOMPARE(filesBelow(server.dir.path()), QStringList({"/site/index.html", "/site/live.html"}));
    const bool connected = !log.startsWith(u"ERROR");
    const QString expected = "Saving local copy; Connecting to Server " +
                             set.value("server", "%a").replace("me:s3cret", "...") + "; " + log +
                             (connected ? "; Disconnecting; Finished" : "");
    const QString pattern = QRegularExpression::escape(expected).replace("\\.\\.\\.", ".*");
    for (int i = 0; i < runs; ++i) {
        const QString got = logs[i].join("; ").replace(server.address, "%a");
        QVERIFY2(
            QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(got).hasMatch(),
            qPrintable(got));
        QVERIFY(!got.contains("s3cret"));
        // What a fetch brought is in the folder whole, or not at all.
        const QString fetched = folders[i]->filePath("index.html");
        QCOMPARE(readTestFile(fetched), got.contains("Failed to Get") || !connected
                                            ? QByteArray("<unreadable>")
                                            : set.value("index", Template40k).toUtf8());
    }
}


QTEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"

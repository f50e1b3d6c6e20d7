#include "FtpTestServer.h"
#include "TestFiles.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTest>

#include <curl/curl.h>

#include <unistd.h>

using namespace std::chrono_literals;
using Kind = FtpTestServer::Kind;

namespace
{

// Big enough that a cut after 50,000 bytes falls inside every transfer of its page.
const QByteArray Filler = "<!-- " + QByteArray(200000, 'x') + " -->\r\n";
const QByteArray Head = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>";
const QString Index = QStringLiteral("index.html|live.html|public");
const QString About = QStringLiteral("about.html|about.html|public");
const QString News = QStringLiteral("say \"hi\" \u00FC.html|say \"hi\" \u00FC.html|/a b%#\"q\"");
// Each file on the server before and after a whole publish; index.html comes back as it was.
struct Target {
    QString path;
    QByteArray before, after;
};
const QList<Target> Targets{{"/site/public/index.html", Head + "@{Intro}@</p>\r\n" + Filler,
                             Head + "@{Intro}@</p>\r\n" + Filler},
                            {"/site/public/live.html", "<p>old</p>\r\n",
                             Head + "Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C" +
                                 "best\xE2\x80\x9D</p>\r\n" + Filler},
                            {"/site/public/about.html",
                             "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n",
                             "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 \x93" +
                                 QByteArray("best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n")},
                            {QStringLiteral("/a b%#\"q\"/say \"hi\" \u00FC.html"),
                             "<p>@{Hours}@</p>\n", "<p>9&#8594;5 &lt;daily&gt;</p>\n"}};
const QList<Paragraph> Typed{
    {"Intro", "Intro", QStringLiteral("Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n")},
    {"Hours", "Hours", QStringLiteral("9\u21925 <daily>")}};

struct Scenario {
    Kind kind = Kind::Ftp;
    FtpTestServer::Options options{};
    QStringList log{};      // "%s" SERVER, "%a" its address, "%pin" its key, "..." any text
    QStringList replaced{}; // targets (file names) that are new on the server afterwards
    QStringList pages = {Index, About, News}; // "source|target|directory"
    QString server{};                         // SERVER if not the server's own; %a its address
    QByteArray trust = "pin"; // "pin" its key, "authority" (not the system's), or the trust file
    QString disk{};           // "read-only" program folder, or the size of a small tmpfs for it
    QString password = FtpTestServer::password();
};

QStringList Connected(const QStringList &middle, const QStringList &saving = {})
{
    return QStringList{"Saving local copy"} + saving +
           QStringList{"Connecting to Server %s", "Current Directory is /site"} + middle +
           QStringList{"Disconnecting", "Finished"};
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

QStringList Run(const Scenario &s, FtpTestServer &server, const QString &folder)
{
    PublishJob job{{}, {}, Typed, folder};
    job.Settings.Server =
        s.server.isEmpty() ? server.url() : QString(s.server).replace("%a", server.address());
    job.Settings.Login = FtpTestServer::user();
    job.Settings.Password = s.password;
    for (const QString &line : s.pages)
        job.Pages.append(
            {line.section(u'|', 0, 0), line.section(u'|', 1, 1), line.section(u'|', 2, 2)});
    CurlFtpClient client(folder);
    client.setTimeouts(2s, 2s);
    if (s.trust == "authority")
        client.setCertificateAuthorities(server.authority());
    QStringList log;
    const PublishOutcome outcome = PublishSite(job, client, [&](const QString &l) { log << l; });
    // Nothing typed is lost: each text is in its local copy, or the log says it is not.
    for (qsizetype i = 0; i < Typed.size(); ++i) {
        const QString &name = Typed[i].ParaName;
        const QString text = TrimTrailingBreaks(Typed[i].ParaText);
        if (outcome.Paragraphs.value(i).ParaText != text ||
            (DecodeLocalCopy(readTestFile(LocalCopyPath(folder, name))) != text &&
             log.filter("ERROR Failed to Save Local Copy " + name).isEmpty()))
            return {name + " was lost"};
    }
    for (QString &line : log) { // what varies from run to run
        line.replace(job.Settings.Server, "%s").replace(server.address(), "%a");
        if (!server.pin().isEmpty())
            line.replace(server.pin(), "%pin");
    }
    return log;
}

// Each page on the server is whole, the new one or the old, and nothing else is there but
// what a broken upload left under a temporary name.
void CheckServer(const Scenario &s, const FtpTestServer &server, bool leftovers)
{
    QStringList files = FilesBelow(server.localPath({}));
    for (const Target &t : Targets) {
        const bool isNew = s.replaced.contains(t.path.section(u'/', -1));
        QCOMPARE(server.readFile(t.path), isNew ? t.after : t.before);
        files.removeOne(t.path);
    }
    if (leftovers)
        files = files.filter(QRegularExpression("^(?!.*/\\.vellumet-upload-)"));
    QCOMPARE(files, QStringList());
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

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
};

void TestRealServers::publish_data()
{
    QTest::addColumn<Scenario>("s");
    const QString news = News.section(u'|', 0, 0);
    const QStringList cd{"Changing Directory to public", "Current Directory is /site/public"};
    const QStringList all = cd + QStringList{"Getting File index.html",
                                             "Putting File live.html",
                                             "Getting File about.html",
                                             "Putting File about.html",
                                             "Changing Directory to /a b%#\"q\"",
                                             "Current Directory is /a b%#\"q\"",
                                             "Getting File " + news,
                                             "Putting File " + news};
    const QStringList every{"live.html", "about.html", news}, two{Index, About};
    const QStringList getFails =
        cd + QStringList{"Getting File index.html", "ERROR Failed to Get File index.html",
                         "Getting File about.html", "ERROR Failed to Get File about.html"};
    const QStringList putFails =
        cd + QStringList{"Getting File index.html", "Putting File live.html",
                         "ERROR Failed to Put File live.html", "Getting File about.html",
                         "ERROR Failed to Get File about.html"};
    QStringList putsFail; // an ERROR after every "Putting File"
    for (const QString &line : all)
        putsFail << line
                 << (line.startsWith(u"Putting") ? "ERROR Failed to Put" + line.mid(7) : "");
    putsFail.removeAll(QString());
    const QStringList copiesFail{"ERROR Failed to Save Local Copy Intro.txt - ...",
                                 "ERROR Failed to Save Local Copy Hours.txt - ..."};
    const auto row = [](const char *name, const Scenario &s) { QTest::newRow(name) << s; };

    row("FTP, whole site", {.log = Connected(all), .replaced = every});
    row("FTPS explicit, whole site, signed by an authority", {.kind = Kind::FtpsExplicit,
                                                              .log = Connected(all),
                                                              .replaced = every,
                                                              .trust = "authority"});
    row("FTPS implicit, whole site, key pinned",
        {.kind = Kind::FtpsImplicit, .log = Connected(all), .replaced = every});
    // OpenSSH renames only to a free name, and takes names in quotes.
    row("SFTP, whole site, host key pinned",
        {.kind = Kind::Sftp, .log = Connected(all), .replaced = every});
    row("FTP, wrong password", {.log = Refused("Authentication failed (530)"), .password = "no"});
    row("SFTP, wrong password",
        {.kind = Kind::Sftp,
         .log = Refused("The server 127.0.0.1 refused the login name or password"),
         .password = "no"});
    Scenario missing{
        .log = Connected(QStringList{"Changing Directory to missing",
                                     "ERROR Failed to Change Directory to missing"} +
                         cd +
                         QStringList{"Getting File gone.html", "ERROR Failed to Get File gone.html",
                                     "Getting File about.html", "Putting File about.html"}),
        .replaced = {"about.html"},
        .pages = {"a.html|a.html|missing", "gone.html|gone.html|public", About}};
    row("FTP, missing directory and file", missing);
    missing.kind = Kind::Sftp;
    row("SFTP, missing directory and file", missing);
    row("nothing listening", {.log = Refused("Could not reach 127.0.0.1 (connection refused)"),
                              .server = "127.0.0.1:1"});
    row("malformed address",
        {.log = Refused("The server address \"%s\" is not valid; ..."), .server = "ftp://a/b"});

    // The link breaks or goes quiet: the step fails, and every later one at once.
    row("server never answers",
        {.options = {.silent = true}, .log = Refused("The server 127.0.0.1 does not answer")});
    row("reset while the page comes down",
        {.options = {.cut = "RETR:1:50000"}, .log = Connected(getFails), .pages = two});
    row("silence while the page comes down",
        {.options = {.cut = "RETR:1:50000:stall"}, .log = Connected(getFails), .pages = two});
    // The first upload is the fetched template going back, the second the new page.
    row("reset while the page goes up",
        {.options = {.cut = "STOR:2:50000"}, .log = Connected(putFails), .pages = two});
    row("reset between upload and rename",
        {.options = {.cut = "RNFR:2"}, .log = Connected(putFails), .pages = two});
    const QString cdFails = "Changing Directory to %1\nERROR Failed to Change Directory to %1\n";
    row("silence at a change of directory",
        {.options = {.stallOn = {"CWD"}},
         .log = Connected((cdFails.arg("public").repeated(2) + cdFails.arg("/a b%#\"q\""))
                              .split(u'\n', Qt::SkipEmptyParts))});
    row("silence at the rename",
        {.options = {.stallOn = {"RNFR"}}, .log = Connected(putFails), .pages = two});

    // Servers that refuse part of the way an upload replaces a page.
    row("renames only to a free name",
        {.options = {.noRenameOver = true}, .log = Connected(all), .replaced = every});
    row("refuses renaming",
        {.options = {.refuse = {"RNFR"}}, .log = Connected(all), .replaced = every});
    row("refuses temporary files",
        {.options = {.refuse = {".vellumet-upload-"}}, .log = Connected(all), .replaced = every});
    row("refuses every upload", {.options = {.refuse = {"STOR "}}, .log = Connected(putsFail)});

    // The program folder fails: only whole files are written there.
    row("read-only program folder",
        {.log = Connected(getFails, copiesFail), .pages = two, .disk = "read-only"});
    // Small pages are refused only as they are closed, large ones as they are written.
    row("full disk",
        {.log = Connected(
             cd + QStringList{"Getting File about.html", "ERROR Failed to Get File about.html",
                              "Getting File index.html", "ERROR Failed to Get File index.html"},
             copiesFail),
         .pages = {About, Index},
         .disk = "4096"});
    row("room for the fetched page, not the spliced one",
        {.log = Connected(cd + QStringList{"Getting File index.html",
                                           "ERROR Failed to Write File live.html - No space left "
                                           "on device",
                                           "Getting File about.html", "Putting File about.html"}),
         .replaced = {"about.html"},
         .pages = two,
         .disk = "300000"});

    // A server that cannot prove it is the real one, or will not encrypt, hears no login;
    // the line to pin the key it showed is given (the exact words: tst_trustfile).
    const QString pinIt = ", so ... no login was sent. ... \"127.0.0.1 %pin\" to vellumet-trust.txt"
                          " beside vellumet.ini";
    const QString changed = " of 127.0.0.1 is not the one pinned in vellumet-trust.txt: ... No "
                            "login was sent. ... replace the pin with \"127.0.0.1 %pin\"";
    row("FTPS explicit, self-signed certificate",
        {.kind = Kind::FtpsExplicit,
         .options = {.certificate = "self-signed"},
         .log = Refused("The certificate of 127.0.0.1 is self-signed" + pinIt),
         .trust = ""});
    row("FTPS explicit, certificate for another host name",
        {.kind = Kind::FtpsExplicit,
         .options = {.certificate = "other-name"},
         .log = Refused("The certificate of 127.0.0.1 was issued for another host name" + pinIt),
         .trust = "authority"});
    row("FTPS implicit, pinned key changed",
        {.kind = Kind::FtpsImplicit,
         .log = Refused("The key" + changed),
         .trust = "# our host\r\nftps://127.0.0.1 "
                  "sha256//WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlo="});
    row("FTPS explicit, server without TLS",
        {.log = Refused("The server 127.0.0.1 does not offer encryption (it refused AUTH TLS), "
                        "so no login was sent. ..."),
         .server = "ftpes://%a"});
    row("FTPS implicit, server without TLS",
        {.log = Refused("Could not set up an encrypted connection with 127.0.0.1 (...). Check "
                        "that the server offers implicit TLS on port ..."),
         .server = "ftps://%a"});
    row("SFTP, host key not pinned",
        {.kind = Kind::Sftp,
         .log = Refused("The SSH host key of 127.0.0.1 is not pinned" + pinIt),
         .trust = ""});
    row("SFTP, host key changed",
        {.kind = Kind::Sftp,
         .log = Refused("The SSH host key" + changed),
         .trust = "127.0.0.1 SHA256:WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlo"});
    row("trust file not understood",
        {.kind = Kind::FtpsExplicit,
         .log = Refused("vellumet-trust.txt, line 1, is not a host name and a key such as ..."),
         .trust = "127.0.0.1 sha256//abc\n"});
}

void TestRealServers::publish()
{
    QFETCH(Scenario, s);
    if (s.kind == Kind::Sftp && geteuid() != 0)
        QSKIP("sshd needs root");
    if (s.disk == u"read-only" && geteuid() == 0)
        QSKIP("root writes anywhere; tst_realservers_readonly runs this as nobody");
    FtpTestServer server(s.kind);
    for (const Target &target : Targets)
        QVERIFY(server.writeFile(target.path, target.before));
    s.options.startDir = "/site";
    QVERIFY2(server.start(s.options), qPrintable(server.errorString()));
    QTemporaryDir folder;
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-lq", folder.path()}); });
    if (s.disk == u"read-only")
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    else if (!s.disk.isEmpty() && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + s.disk,
                                                              "tmpfs", folder.path()}) != 0)
        QSKIP("a small tmpfs takes root to mount");
    if (s.disk == u"4096") // leaves no room at all
        writeTestFile(folder.filePath("filler"), QByteArray(4096, 'f'));
    if (s.trust == "pin" && s.kind != Kind::Ftp)
        s.trust = "127.0.0.1 " + server.pin().toLatin1();
    if (s.trust.contains(' '))
        QVERIFY(writeTestFile(folder.filePath("vellumet-trust.txt"), s.trust));
    QElapsedTimer clock;
    clock.start();

    const QStringList log = Run(s, server, folder.path());

    QVERIFY2(clock.elapsed() < 10000, "one time-out of 2 s at most");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString pattern =
        QRegularExpression::escape(s.log.join(u'\n')).replace("\\.\\.\\.", ".*");
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                 .match(log.join(u'\n'))
                 .hasMatch(),
             qPrintable(log.join(u'\n')));
    QVERIFY(server.logins() <= 1); // a refused login is not tried again
    if (!log.filter("Current Directory is").isEmpty())
        QCOMPARE((QList<int>{server.connections(), server.logins()}), (QList<int>{1, 1}));
    if (!log.filter("no login was sent").isEmpty())
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
    const bool broken = !s.options.cut.isEmpty() || !s.options.stallOn.isEmpty();
    CheckServer(s, server, broken);
    if (!broken)
        return;
    // What a broken link left, the next run over a sound one puts right.
    server.stop();
    QVERIFY2(server.start({.startDir = "/site"}), qPrintable(server.errorString()));
    s.replaced.clear();
    for (const QString &page : s.pages)
        s.replaced << page.section(u'|', 1, 1);
    QCOMPARE(Run(s, server, folder.path()).filter("ERROR"), QStringList());
    CheckServer(s, server, false);
}

QTEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"

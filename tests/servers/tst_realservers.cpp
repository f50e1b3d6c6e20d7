#include "FtpTestServer.h"
#include "TestFiles.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTest>

#include <curl/curl.h>

#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Kind = FtpTestServer::Kind;

namespace
{

// A page big enough that a cut after 50,000 bytes falls inside its every transfer.
const QByteArray Filler = "<!-- " + QByteArray(200000, 'x') + " -->\r\n";
const QByteArray Head = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>";
const QString Index = QStringLiteral("index.html|live.html|public");
const QString About = QStringLiteral("about.html|about.html|public");
const QString News = QStringLiteral("say \"hi\" \u00FC.html|say \"hi\" \u00FC.html|/a b%#\"q\"");
// Where each target lives on the server, its bytes before and after a publish, and the
// source it comes from, which must come back unchanged.
const QList<std::tuple<QString, QByteArray, QByteArray>> Targets{
    {"/site/public/live.html", "<p>Yesterday's bread</p>\r\n",
     Head +
         "Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C"
         "best\xE2\x80\x9D</p>\r\n" +
         Filler},
    {"/site/public/about.html", "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n",
     "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 \x93"
     "best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n"},
    {u"/a b%#\"q\"/say \"hi\" \u00FC.html"_s, "<p>@{Hours}@</p>\n",
     "<p>9&#8594;5 &lt;daily&gt;</p>\n"}};
const QByteArray IndexPage = Head + "@{Intro}@</p>\r\n" + Filler;
const QList<Paragraph> Typed{
    {"Intro", "Intro", u"Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n"_s},
    {"Hours", "Hours", u"9\u21925 <daily>"_s}};

struct Scenario {
    Kind kind = Kind::Ftp;
    FtpTestServer::Options options{};
    QStringList log{};      // "%s" SERVER, "%pin" the server's key, "%port", "..." any text
    QStringList replaced{}; // targets (by file name) that are new on the server afterwards
    QStringList pages = {Index, About, News}; // "source|target|directory"
    QString server{};                         // SERVER if not the server's own; %a its address
    QByteArray trust = "pin";                 // "pin", "authority" or the trust file
    QString disk{}; // "read-only" program folder, or the bytes of a small tmpfs for it
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

bool Matches(const QStringList &log, const QStringList &expected)
{
    const auto pattern = [](const QString &line) {
        return QRegularExpression::anchoredPattern(QRegularExpression::escape(line).replace(
            QRegularExpression::escape(QStringLiteral("...")), QStringLiteral(".*")));
    };
    bool all = log.size() == expected.size();
    for (qsizetype i = 0; all && i < log.size(); ++i)
        all = QRegularExpression(pattern(expected[i])).match(log[i]).hasMatch();
    return all;
}

QStringList FilesBelow(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next().mid(folder.size());
    return files;
}

// A small tmpfs over the program folder for one test: a disk that fills.
struct SmallDisk {
    QString folder;
    bool mounted = false;
    ~SmallDisk()
    {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder});
    }
    bool mount(const QString &bytes)
    {
        mounted = QProcess::execute("mount",
                                    {"-t", "tmpfs", "-o", "size=" + bytes, "tmpfs", folder}) == 0;
        return mounted;
    }
};

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

private:
    QStringList run(const Scenario &s, FtpTestServer &server, const QString &folder);
    void checkServer(const Scenario &s, const FtpTestServer &server, bool leftovers);
};

void TestRealServers::publish_data()
{
    QTest::addColumn<Scenario>("s");
    const QStringList inPublic{"Changing Directory to public", "Current Directory is /site/public"};
    const QStringList all = inPublic + QStringList{"Getting File index.html",
                                                   "Putting File live.html",
                                                   "Getting File about.html",
                                                   "Putting File about.html",
                                                   "Changing Directory to /a b%#\"q\"",
                                                   "Current Directory is /a b%#\"q\"",
                                                   u"Getting File say \"hi\" \u00FC.html"_s,
                                                   u"Putting File say \"hi\" \u00FC.html"_s};
    const QStringList allTargets{"live.html", "about.html", u"say \"hi\" \u00FC.html"_s};
    const QStringList fetchFails =
        inPublic + QStringList{"Getting File index.html", "ERROR Failed to Get File index.html",
                               "Getting File about.html", "ERROR Failed to Get File about.html"};
    const QStringList putFails =
        inPublic + QStringList{"Getting File index.html", "Putting File live.html",
                               "ERROR Failed to Put File live.html", "Getting File about.html",
                               "ERROR Failed to Get File about.html"};
    const QStringList twoPages{Index, About};
    const QString notTrusted = ", so the connection was not trusted and no login was sent. ";
    const QString pinLine = "pin this server's key by adding the line \"127.0.0.1 %pin\" to "
                            "vellumet-trust.txt beside vellumet.ini";
    const QString changed = " of 127.0.0.1 is not the one pinned in vellumet-trust.txt: the host "
                            "has changed it, or someone is intercepting the connection. No login "
                            "was sent. If the host confirms a new key, replace the pin with "
                            "\"127.0.0.1 %pin\"";
    const auto row = [](const char *name, const Scenario &s) { QTest::newRow(name) << s; };

    row("FTP, whole site", {.log = Connected(all), .replaced = allTargets});
    row("FTPS explicit, whole site, signed by an authority", {.kind = Kind::FtpsExplicit,
                                                              .log = Connected(all),
                                                              .replaced = allTargets,
                                                              .trust = "authority"});
    row("FTPS implicit, whole site, key pinned",
        {.kind = Kind::FtpsImplicit, .log = Connected(all), .replaced = allTargets});
    // OpenSSH renames only to a free name, and takes names in quotes.
    row("SFTP, whole site, host key pinned",
        {.kind = Kind::Sftp, .log = Connected(all), .replaced = allTargets});

    row("FTP, wrong password", {.log = Refused("Authentication failed (530)"), .password = "no"});
    row("SFTP, wrong password", {.kind = Kind::Sftp,
                                 .log = Refused("The server 127.0.0.1 refused the login name or "
                                                "password"),
                                 .password = "no"});
    for (const Kind kind : {Kind::Ftp, Kind::Sftp})
        QTest::addRow("%s, missing directory and file", kind == Kind::Ftp ? "FTP" : "SFTP")
            << Scenario{
                   .kind = kind,
                   .log = Connected(
                       QStringList{"Changing Directory to missing",
                                   "ERROR Failed to Change Directory to missing"} +
                       inPublic +
                       QStringList{"Getting File gone.html", "ERROR Failed to Get File gone.html",
                                   "Getting File about.html", "Putting File about.html"}),
                   .replaced = {"about.html"},
                   .pages = {"a.html|a.html|missing", "gone.html|gone.html|public", About}};
    row("nothing listening", {.log = Refused("Could not reach 127.0.0.1 (connection refused)"),
                              .server = "127.0.0.1:1"});
    row("malformed address",
        {.log = Refused("The server address \"ftp://example.com/pub\" is not valid; write a host "
                        "name, optionally followed by \":\" and a port"),
         .server = "ftp://example.com/pub"});

    // The link breaks or goes quiet: every later step is refused at once.
    row("server never answers",
        {.options = {.silent = true}, .log = Refused("The server 127.0.0.1 does not answer")});
    row("reset while the page comes down",
        {.options = {.cut = "RETR:1:50000"}, .log = Connected(fetchFails), .pages = twoPages});
    row("silence while the page comes down", {.options = {.cut = "RETR:1:50000:stall"},
                                              .log = Connected(fetchFails),
                                              .pages = twoPages});
    // The first upload is the fetched template going back, the second the new page.
    row("reset while the page goes up",
        {.options = {.cut = "STOR:2:50000"}, .log = Connected(putFails), .pages = twoPages});
    row("reset between upload and rename",
        {.options = {.cut = "RNFR:2"}, .log = Connected(putFails), .pages = twoPages});
    row("silence at the rename",
        {.options = {.stallOn = {"RNFR"}}, .log = Connected(putFails), .pages = twoPages});

    // Servers that refuse part of the way an upload replaces a page.
    row("renames only to a free name",
        {.options = {.noRenameOver = true}, .log = Connected(all), .replaced = allTargets});
    row("refuses renaming",
        {.options = {.refuse = {"RNFR"}}, .log = Connected(all), .replaced = allTargets});
    row("refuses temporary files", {.options = {.refuse = {".vellumet-upload-"}},
                                    .log = Connected(all),
                                    .replaced = allTargets});
    QStringList putsFail; // an ERROR after every "Putting File"
    for (const QString &line : all) {
        putsFail << line;
        if (line.startsWith(u"Putting File "))
            putsFail << "ERROR Failed to Put File " + line.mid(13);
    }
    row("refuses every upload", {.options = {.refuse = {"STOR "}}, .log = Connected(putsFail)});

    // The program folder fails: nothing is written there but whole files.
    const QString saveFails = "ERROR Failed to Save Local Copy %1.txt - ...";
    const QStringList copiesFail{saveFails.arg("Intro"), saveFails.arg("Hours")};
    row("read-only program folder",
        {.log = Connected(fetchFails, copiesFail), .pages = twoPages, .disk = "read-only"});
    // Small pages are refused only as they are closed, large ones as they are written.
    row("full disk",
        {.log = Connected(inPublic + QStringList{"Getting File about.html",
                                                 "ERROR Failed to Get File about.html",
                                                 "Getting File index.html",
                                                 "ERROR Failed to Get File index.html"},
                          copiesFail),
         .pages = {About, Index},
         .disk = "4096"});
    row("room for the fetched page, not the spliced one",
        {.log = Connected(inPublic + QStringList{"Getting File index.html",
                                                 "ERROR Failed to Write File live.html - No "
                                                 "space left on device",
                                                 "Getting File about.html",
                                                 "Putting File about.html"}),
         .replaced = {"about.html"},
         .pages = twoPages,
         .disk = "300000"});

    // A server that cannot prove it is the real one, or will not encrypt, hears no login.
    row("FTPS explicit, self-signed certificate",
        {.kind = Kind::FtpsExplicit,
         .options = {.certificate = "self-signed"},
         .log =
             Refused("The certificate of 127.0.0.1 is self-signed" + notTrusted +
                     "Ask the host for a certificate signed by a known authority, or " + pinLine),
         .trust = ""});
    row("FTPS explicit, certificate for another host name",
        {.kind = Kind::FtpsExplicit,
         .options = {.certificate = "other-name"},
         .log =
             Refused("The certificate of 127.0.0.1 was issued for another host name" + notTrusted +
                     "Write SERVER with the host name that the certificate was issued for, "
                     "or " +
                     pinLine),
         .trust = "authority"});
    row("FTPS implicit, pinned key changed",
        {.kind = Kind::FtpsImplicit,
         .log = Refused("The key" + changed),
         .trust = "# our host\r\nftps://127.0.0.1 %other\r\n"});
    row("FTPS explicit, server without TLS",
        {.log = Refused("The server 127.0.0.1 does not offer encryption (it refused AUTH TLS), "
                        "so no login was sent. Ask the host whether it offers FTPS; write "
                        "SERVER without ftpes:// only if an unencrypted connection will do"),
         .server = "ftpes://%a"});
    row("FTPS implicit, server without TLS",
        {.log = Refused("Could not set up an encrypted connection with 127.0.0.1 (...). Check "
                        "that the server offers implicit TLS on port %port; for explicit TLS "
                        "(AUTH TLS) write ftpes://"),
         .server = "ftps://%a"});
    row("SFTP, host key not pinned",
        {.kind = Kind::Sftp,
         .log = Refused("The SSH host key of 127.0.0.1 is not pinned" + notTrusted +
                        "Ask the host whether its key fingerprint is %pin; if so, add the line "
                        "\"127.0.0.1 %pin\" to vellumet-trust.txt beside vellumet.ini"),
         .trust = ""});
    row("SFTP, host key changed", {.kind = Kind::Sftp,
                                   .log = Refused("The SSH host key" + changed),
                                   .trust = "127.0.0.1 %other"});
    row("trust file not understood",
        {.kind = Kind::FtpsExplicit,
         .log = Refused("vellumet-trust.txt, line 1, is not a host name and a key such as "
                        "\"ftp.example.com sha256//...\" or \"sftp.example.com SHA256:...\""),
         .trust = "127.0.0.1 sha256//abc\n"});
}

QStringList TestRealServers::run(const Scenario &s, FtpTestServer &server, const QString &folder)
{
    PublishJob job;
    job.Settings.Server =
        s.server.isEmpty() ? server.url() : QString(s.server).replace("%a", server.address());
    job.Settings.Login = FtpTestServer::user();
    job.Settings.Password = s.password;
    for (const QString &line : s.pages)
        job.Pages.append(
            {line.section(u'|', 0, 0), line.section(u'|', 1, 1), line.section(u'|', 2, 2)});
    job.Paragraphs = Typed;
    job.Folder = folder;
    CurlFtpClient client(folder);
    client.setTimeouts(2s, 2s);
    if (s.trust == "authority")
        client.setCertificateAuthorities(server.authority());
    QStringList log;
    const PublishOutcome outcome =
        PublishSite(job, client, [&](const QString &line) { log.append(line); });
    // Nothing typed is lost: each text is in its local copy, or the log says it is not.
    for (qsizetype i = 0; i < Typed.size(); ++i) {
        const QString &name = Typed[i].ParaName;
        const QString text = TrimTrailingBreaks(Typed[i].ParaText);
        if (outcome.Paragraphs.value(i).ParaText != text ||
            (DecodeLocalCopy(readTestFile(LocalCopyPath(folder, name))) != text &&
             log.filter("ERROR Failed to Save Local Copy " + name).isEmpty()))
            return {name + " was lost"};
    }
    for (QString &line : log) { // the server's own key and port vary from run to run
        line.replace(server.address(), "%a");
        if (!server.pin().isEmpty())
            line.replace(server.pin(), "%pin");
    }
    return log;
}

void TestRealServers::publish()
{
    QFETCH(Scenario, s);
    if (const QString reason = FtpTestServer::unavailable(s.kind); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    if (s.disk == u"read-only" && geteuid() == 0)
        QSKIP("root writes anywhere; tst_realservers_readonly runs this as nobody");
    FtpTestServer server(s.kind);
    for (const auto &[path, before, after] : Targets)
        QVERIFY(server.writeFile(path, before));
    QVERIFY(server.writeFile("/site/public/index.html", IndexPage));
    s.options.startDir = "/site";
    QVERIFY2(server.start(s.options), qPrintable(server.errorString()));
    QTemporaryDir folder;
    SmallDisk disk{folder.path()};
    if (s.disk == u"read-only")
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    else if (!s.disk.isEmpty() && (geteuid() != 0 || !disk.mount(s.disk)))
        QSKIP("a small tmpfs takes root to mount");
    if (s.disk == u"4096") { // leaves no room at all
        writeTestFile(folder.filePath("filler"), QByteArray(4096, 'f'));
        QCOMPARE(QStorageInfo(folder.path()).bytesAvailable(), 0);
    }
    const QByteArray other =
        s.kind == Kind::Sftp
            ? "SHA256:" + QByteArray(32, 'Z').toBase64(QByteArray::OmitTrailingEquals)
            : "sha256//" + QByteArray(32, 'Z').toBase64();
    if (s.trust == "pin" && s.kind != Kind::Ftp)
        s.trust = "127.0.0.1 " + server.pin().toLatin1();
    if (s.trust != "pin" && s.trust != "authority" && !s.trust.isEmpty())
        QVERIFY(
            writeTestFile(folder.filePath("vellumet-trust.txt"), s.trust.replace("%other", other)));
    QElapsedTimer clock;
    clock.start();

    const QStringList log = run(s, server, folder.path());

    QVERIFY2(clock.elapsed() < 10000, "one time-out of 2 s at most");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QStringList expected = s.log;
    expected
        .replaceInStrings("%s", s.server.isEmpty() ? server.url().replace(server.address(), "%a")
                                                   : s.server)
        .replaceInStrings("%port", server.address().section(u':', 1));
    QVERIFY2(Matches(log, expected), qPrintable(log.join(u'\n')));
    QVERIFY(server.logins() <= 1); // a refused login is not tried again
    if (!log.filter("Current Directory is").isEmpty())
        QCOMPARE((QList<int>{server.connections(), server.logins()}), (QList<int>{1, 1}));
    if (!log.filter("no login was sent").isEmpty())
        QCOMPARE(server.logins(), 0);
    // Every file in the program folder is whole: a page as fetched or as spliced.
    for (const QString &file : FilesBelow(folder.path())) {
        const QByteArray bytes = readTestFile(folder.path() + file);
        bool whole = file.endsWith(u".txt") || file == u"/filler" || bytes == IndexPage;
        for (const auto &[path, before, after] : Targets)
            whole = whole || (path.endsWith(file) && (bytes == before || bytes == after));
        QVERIFY2(whole, qPrintable(file));
    }
    const bool broken = !s.options.cut.isEmpty() || !s.options.stallOn.isEmpty();
    checkServer(s, server, broken);
    if (!broken)
        return;
    // What a broken link left, the next run over a sound one puts right.
    server.stop();
    QVERIFY2(server.start({.startDir = "/site"}), qPrintable(server.errorString()));
    s.replaced = QStringList{"live.html", "about.html"};
    QCOMPARE(run(s, server, folder.path()).filter("ERROR"), QStringList());
    checkServer(s, server, false);
}

// Each page on the server is whole, the new one or the old, and nothing else is there but
// what a broken upload left under a temporary name.
void TestRealServers::checkServer(const Scenario &s, const FtpTestServer &server, bool leftovers)
{
    QCOMPARE(server.readFile("/site/public/index.html"), IndexPage);
    for (const auto &[path, before, after] : Targets)
        QCOMPARE(server.readFile(path),
                 s.replaced.contains(path.section(u'/', -1)) ? after : before);
    for (const QString &file : FilesBelow(server.localPath({})))
        QVERIFY2(file == u"/site/public/index.html" ||
                     std::any_of(Targets.begin(), Targets.end(),
                                 [&](const auto &t) { return std::get<0>(t) == file; }) ||
                     (leftovers && file.contains(u"/.vellumet-upload-")),
                 qPrintable(file));
}

QTEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"

#include "FtpTestServer.h"

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"
#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QScopeGuard>

#include <curl/curl.h>

#include <csignal>
#include <future>

using namespace std::chrono_literals;
using Kind = FtpTestServer::Kind;
using enum FtpTestServer::Kind;
Q_DECLARE_METATYPE(Kind)

namespace
{

// Big enough that a cut after 50,000 bytes falls inside every transfer of its page.
const QByteArray Filler = "<!-- " + QByteArray(200000, 'x') + " -->\r\n";
const QByteArray Head = "<meta charset=\"utf-8\">\r\n<h1>Caf\xC3\xA9</h1>\r\n<p>";
const QByteArray Template = Head + "@{Intro}@</p>\r\n" + Filler;
const QString News = u"say \"hi\" \u00FC.html"_s;
const QMap<QString, QString> Pages{{"index", "index.html|live.html|public"},
                                   {"about", "about.html|about.html|public"},
                                   {"news", News + "|" + News + "|/a b%#\"q\""}};
// Each file on the server before and after a whole publish; index.html comes back as it was.
struct Target {
    QString path;
    QByteArray before, after;
};
const QList<Target> Targets = [] {
    QList<Target> targets{
        {"/site/public/index.html", Template, Template},
        {"/site/public/live.html", "<p>old</p>\r\n",
         Head + "Fish &amp; chips<br>since 1999 \xE2\x80\x93 \xE2\x80\x9C" +
             "best\xE2\x80\x9D</p>\r\n" + Filler},
        {"/site/public/about.html", "<p>\xE9t\xE9</p>\r\n<div>@{Intro}@|@{Hours}@</div>\r\n",
         "<p>\xE9t\xE9</p>\r\n<div>Fish &amp; chips<br>since 1999 \x96 \x93"
         "best\x94|9&#8594;5 &lt;daily&gt;</div>\r\n"},
        {"/a b%#\"q\"/" + News, "<p>@{Hours}@</p>\n", "<p>9&#8594;5 &lt;daily&gt;</p>\n"}};
    for (int n = 1; n <= 8; ++n) // pages enough for every connection of a run
        targets.append({u"/site/public/p%1.html"_s.arg(n), "<p>" + QByteArray::number(n) + "</p>",
                        "<p>" + QByteArray::number(n) + "</p>"});
    return targets;
}();
const QList<Paragraph> Typed{
    {"Intro", "Intro", u"Fish & chips\r\nsince 1999 \u2013 \u201Cbest\u201D\r\n"_s},
    {"Hours", "Hours", u"9\u21925 <daily>"_s}};

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next().mid(folder.size());
    return files;
}

// Passes each step on, logging in brackets why a transfer failed (the run does not say).
struct Telling final : FtpClient {
    Telling(FtpClient &to, QStringList &log) : to(to), log(log) {}
    Result<> connect(const QString &s, const QString &l, const QString &p) override
    {
        return to.connect(s, l, p);
    }
    QString currentDirectory() override { return to.currentDirectory(); }
    Result<> changeDir(const QString &path) override { return to.changeDir(path); }
    Result<> getFile(const QString &n, const QString &f) override { return told(to.getFile(n, f)); }
    Result<> putFile(const QString &l, const QString &r) override { return told(to.putFile(l, r)); }
    void disconnect() override { to.disconnect(); }
    QString takeNotice() override { return to.takeNotice(); }
    bool loginRefused() const override { return to.loginRefused(); }
    void shareSessionsWith(FtpClient &other) const override { to.shareSessionsWith(other); }
    void watchLogin(std::function<bool(LoginStep)> w) override { to.watchLogin(std::move(w)); }
    Result<> told(Result<> result)
    {
        if (!result)
            log << u'(' + result.error() + u')';
        return result;
    }
    FtpClient &to;
    QStringList &log;
};

// The job as "vellumet --publish" runs it: from vellumet.ini and the local copies, in a
// process of its own; the exit status must say whether a line is an ERROR line. Interrupted:
// Ctrl+C once the first upload has begun.
QStringList runProgram(const PublishJob &job, bool passwordFromEnvironment, bool interrupted)
{
    const SiteSettings &s = job.settings;
    QString ini = "SERVER=" + s.server + "\r\nLOGIN=" + s.login +
                  "\r\nCONNECTIONS=" + QString::number(s.connections) + "\r\n";
    if (!passwordFromEnvironment)
        ini += "PASSWORD=" + s.password + "\r\n";
    for (const Page &page : job.pages)
        ini += "PAGE=" + page.source + u',' + page.target + u',' + page.directory + "\r\n";
    for (const Paragraph &para : job.paragraphs) {
        ini += "PARAGRAPH=" + para.name + "\r\n";
        writeTestFile(localCopyPath(job.folder, para.name), encodeLocalCopy(para.text));
    }
    writeTestFile(job.folder + "/vellumet.ini", encodeAnsiForHtml(ini));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELLUMET_PASSWORD", s.password);
    program.setProcessEnvironment(environment);
    program.start(VELLUMET_BINARY, {"--publish", job.folder});
    QByteArray seen;
    while (interrupted && !seen.contains("Putting File") && program.waitForReadyRead(10000))
        seen += program.peek(1 << 20);
    if (interrupted && ::kill(pid_t(program.processId()), SIGINT) != 0)
        return {"not interrupted"};
    if (!program.waitForFinished(60000))
        return {"no end"};
    QStringList log = QString::fromUtf8(program.readAllStandardOutput()).split(u'\n');
    log.removeLast(); // after the last line's end
    if (program.exitCode() != (log.filter(QRegularExpression("^ERROR")).isEmpty() ? 0 : 1))
        log << u"exit status %1"_s.arg(program.exitCode());
    return log;
}

// The run's log with what varies from run to run as "%s" (SERVER), "%a" and "%pin".
QStringList run(const QMap<QString, QString> &set, const FtpTestServer &server,
                const QString &folder, const QString &pages)
{
    PublishJob job{{}, {}, Typed, folder};
    job.settings.server = set.value("server", server.url()).replace("%a", server.address());
    job.settings.login = FtpTestServer::user();
    job.settings.password = set.value("password", FtpTestServer::password());
    for (const QString &page : pages.split(u',')) {
        const QStringList p = Pages.value(page, page).split(u'|');
        job.pages.append({p[0], p[1], p[2]});
    }
    job.settings.connections = set.value("connections", "1").toInt();
    CurlFtpClient::Bounds bounds{2s, 2s, 1024, 2s};
    if (set.contains("step")) // only the step's bound can end a drip
        bounds = {2s, 2s, 1, 20s, std::chrono::seconds(set.value("step").toInt())};
    if (set.contains("cap"))
        bounds.maxFetchBytes = set.value("cap").toLongLong();
    const auto client = [&] {
        auto ftp = std::make_unique<CurlFtpClient>(folder);
        ftp->setBounds(bounds);
        if (set.value("trust") == u"authority")
            ftp->setCertificateAuthorities(server.authority());
        return ftp;
    };
    QStringList log;
    PublishOutcome outcome;
    outcome.paragraphs = Typed;
    for (Paragraph &para : outcome.paragraphs)
        para.text = trimTrailingBreaks(para.text);
    if (set.contains("program")) {
        if (job.settings.password == u"env")
            job.settings.password = FtpTestServer::password();
        log = runProgram(job, set.value("password") == u"env", set.contains("interrupt"));
    } else {
        const std::unique_ptr<CurlFtpClient> first = client();
        Telling telling(*first, log);
        outcome = publishSite(
            job, telling, [&](const QString &l) { log << l; }, nullptr, client);
    }
    // Nothing typed is lost: each text is in its local copy, or the log says it is not.
    for (qsizetype i = 0; i < Typed.size(); ++i) {
        const QString &name = Typed[i].name, text = trimTrailingBreaks(Typed[i].text);
        if (outcome.paragraphs.value(i).text != text ||
            (decodeLocalCopy(readTestFile(localCopyPath(folder, name))) != text &&
             log.filter("ERROR Failed to Save Local Copy " + name).isEmpty()))
            return {name + " was lost"};
    }
    if (!log.filter("s3cret").isEmpty() || !log.filter(FtpTestServer::password()).isEmpty())
        return {"a password was shown"};
    if (outcome.loginRefused)
        log.prepend("(login refused)");
    for (QString &line : log) {
        line.replace(job.settings.server, "%s").replace(server.address(), "%a");
        if (!server.pin().isEmpty())
            line.replace(server.pin(), "%pin");
    }
    return log;
}

// Each page on the server whole (new if put, else old); else only a broken upload's temporaries.
void checkServer(const QStringList &log, const FtpTestServer &server, bool leftovers)
{
    QStringList files = filesBelow(server.localPath({}));
    for (const Target &t : Targets) {
        const QString name = t.path.section(u'/', -1);
        const bool replaced = log.contains("Putting File " + name) &&
                              !log.contains("ERROR Failed to Put File " + name);
        QCOMPARE(server.readFile(t.path), replaced ? t.after : t.before);
        files.removeOne(t.path);
    }
    if (leftovers)
        files = files.filter(QRegularExpression("^(?!.*/\\.vellumet-upload-)"));
    QCOMPARE(files, QStringList());
}

} // namespace

// Each real server and fault: in seconds, a named ERROR, whole files, nothing typed lost.
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
    // setup: "--server-option"; pages, server (%a), password, trust, disk, step, cap, second,
    // connections. errors: failed steps ("..." any text); "!" failed connection, "!!" refused
    // login; "=" whole log.
    columns<Kind, QString, QString>("kind", "setup", "errors");
    const QString two = "; pages=index,about", putFails = "Put File live.html; Get File about.html";
    const char *missing = "pages=a.html|a.html|missing,gone.html|gone.html|public,about";
    const QString missed = "Change Directory to missing; Get File gone.html";
    const QString notSaved = "Save Local Copy Intro.txt - ...; Save Local Copy Hours.txt - ...; ";
    // An unproven or unencrypted server hears no login; the line to pin its key is given.
    const QString pinIt = ", so ... no login was sent. ... \"127.0.0.1 %pin\" to "
                          "vellumet-trust.txt beside vellumet.ini";
    const QString changed = " of 127.0.0.1 is not the one pinned in vellumet-trust.txt: ... No "
                            "login was sent. ... replace the pin with \"127.0.0.1 %pin\"";
    const QString zz = "WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWl";
    const QString one = "; --start-dir=/site/public; pages=index.html|live.html|";
    const QString got = "=Current Directory is /site/public; Getting File index.html; ";
    const QString stalled =
        got + "(The server 127.0.0.1 stopped answering); ERROR Failed to Get File index.html";

    row("FTP, whole site", Ftp, "", "");
    row("FTP, 8 connections, the server allowing 3", Ftp, "connections=8; --max-logins=3", "");
    // The slow upload of live.html leaves the extra connections time to log in.
    row("FTPS explicit, whole site, signed by an authority", FtpsExplicit,
        "trust=authority; connections=8; --slow-stor=0.01", "");
    row("FTPS implicit, whole site, key pinned", FtpsImplicit, "connections=8", "");
    // OpenSSH renames only to a free name, and takes names in quotes.
    row("SFTP, whole site, host key pinned", Sftp, "connections=8", "");
    row("FTP, wrong password", Ftp, "password=no; connections=8", "!!Authentication failed (530)");
    row("vellumet --publish", Ftp, "program", "");
    row("vellumet --publish, password from the environment", Ftp, "program; password=env", "");
    row("vellumet --publish, wrong password", Ftp, "program; password=no",
        "!Authentication failed (530)");
    row("vellumet --publish, Ctrl+C in a stalled rename", Ftp,
        "program; interrupt; --stall-on=RNFR" + two,
        "=...; ERROR Failed to Put File live.html; ERROR Publishing was stopped");
    row("SFTP, wrong password", Sftp, "password=no; connections=8",
        "!!The server 127.0.0.1 refused the login name or password");
    row("FTP, missing directory and file", Ftp, missing, missed);
    row("SFTP, missing directory and file", Sftp, missing, missed);
    row("no listener", Ftp, "server=127.0.0.1:1",
        "!Could not reach 127.0.0.1 (connection refused)");
    row("user and password in SERVER", Ftp, "server=ftp://me:s3cret@%a",
        "!SERVER must not hold a user name or password; use LOGIN and PASSWORD");
    row("server never answers", Ftp, "--silent", "!The server 127.0.0.1 does not answer");
    row("reset while the page goes up", Ftp, "--cut=STOR:1:50000" + two, putFails);
    row("silence at a change of directory", Ftp, "--stall-on=CWD",
        "Change Directory to public; Change Directory to public; Change Directory to /a b%#\"q\"");
    row("silence at the rename", Ftp, "--stall-on=RNFR" + two, putFails);
    row("slow drip", Ftp, "--retr=10:0.3" + one, stalled);
    row("fast drip, held by the step's bound", Ftp, "--retr=10:0.1; step=2" + one, stalled);
    row("endless page", Ftp, "--retr=65536:0; cap=100000" + one,
        got + "(The file index.html on the server is larger than 100000 bytes); ERROR Failed to "
              "Get File index.html");
    row("empty page", Ftp, "--retr=0" + one, got + "ERROR Empty File index.html");
    row("'..' in the directory named", Ftp,
        "--reply=PWD:257 \"/elsewhere/../site/public\" is current" + one,
        "=Current Directory is /elsewhere/../site/public; Getting File index.html; Putting File "
        "live.html");
    row("line break in the directory named", Ftp, "--reply=PWD:257 \"/si\\rte\"",
        "!The server 127.0.0.1 named its directory with a line break, which no command can "
        "carry: /si\\rte");
    row("renames only to a free name", Ftp, "--no-rename-over", "");
    row("server without RNFR", Ftp, "--reply=RNFR:502 Command not implemented" + one,
        got + "Putting File live.html; The server 127.0.0.1 cannot rename files, so pages are "
              "stored straight over the old ones (RNFR: Command not implemented (502))");
    // A refused rename fails its page; never a straight upload that a reader sees half of.
    row("RNFR refused", Ftp, "--reply=RNFR:550 Permission denied" + one,
        got + "Putting File live.html; (The server refused to put the new live.html in place of "
              "the old one: Permission denied (550)); ERROR Failed to Put File live.html");
    row("refuses every upload", Ftp, "--reply=STOR:550 Refused",
        "Put File live.html; Put File about.html; Put File " + News);
    QString eight;
    for (int n = 1; n <= 8; ++n)
        eight += u",p%1.html|p%1.html|public"_s.arg(n);
    row("two runs, slow uploads", Ftp,
        "--slow-stor=0.02; connections=8; pages=index,about,news" + eight +
            "; second=about.html|live.html|public" + eight,
        "");
    // A failing program folder gets whole files only; small ones fail at close, large as written.
    row("read-only program folder", Ftp, "disk=read-only" + two,
        notSaved + "Get File index.html; Get File about.html");
    row("full disk", Ftp, "disk=4096; pages=about,index",
        notSaved + "Get File about.html; Get File index.html");
    row("room for the fetched page, not the spliced one", Ftp, "disk=300000" + two,
        "Write File live.html - No space left on device");
    row("FTPS, certificate for another name", FtpsExplicit,
        "--certificate=other-name; trust=authority",
        "!The certificate of 127.0.0.1 was issued for another host name" + pinIt);
    row("FTPS implicit, pinned key changed", FtpsImplicit,
        "trust=# our host\r\nftps://127.0.0.1 sha256//" + zz + "o=", "!The key" + changed);
    row("FTPS explicit, server without TLS", Ftp, "server=ftpes://%a",
        "!The server 127.0.0.1 does not offer encryption (it refused AUTH TLS), so no login was "
        "sent. ...");
    row("FTPS implicit, server without TLS", Ftp, "server=ftps://%a",
        "!Could not set up an encrypted connection with 127.0.0.1 (...). Check that the server "
        "offers implicit TLS on port ...");
    row("PROT P refused after the login", FtpsExplicit, "--reply=PROT:534 PROT P not allowed here",
        "!The server 127.0.0.1 took the login over the encrypted connection, then refused to "
        "encrypt file transfers (PROT P: PROT P not allowed here (534)), so no file was sent or "
        "fetched. Ask the host to allow encrypted transfers");
    row("SFTP, unpinned", Sftp, "trust=", "!The SSH host key of 127.0.0.1 is not pinned" + pinIt);
    row("SFTP, key changed", Sftp, "trust=127.0.0.1 SHA256:" + zz + "o",
        "!The SSH host key" + changed);
    row("trust file not understood", FtpsExplicit, "trust=127.0.0.1 sha256//abc\n",
        "!vellumet-trust.txt, line 1, is not a host name and a key such as ...");
}

void TestRealServers::publish()
{
    const auto [kind, setup, errors] = fetch<Kind, QString, QString>("kind", "setup", "errors");
    QMap<QString, QString> set;
    QStringList options{"--start-dir=/site"};
    for (const QString &item : setup.split(u"; "_s, Qt::SkipEmptyParts))
        item.startsWith(u"--") ? void(options << item)
                               : void(set.insert(item.section(u'=', 0, 0), item.section(u'=', 1)));
    const QString disk = set.value("disk"), pages = set.value("pages", "index,about,news");
    const qsizetype pageCount = pages.count(u',') + 1;
    if (kind == Sftp && geteuid() != 0)
        QSKIP("sshd needs root");
    if (disk == u"read-only" && geteuid() == 0)
        QSKIP("root writes anywhere; tst_realservers_readonly runs this as nobody");
    FtpTestServer server(kind);
    for (const Target &target : Targets)
        QVERIFY(server.writeFile(target.path, target.before));
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    QTemporaryDir folder, secondFolder;
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-lq", folder.path()}); });
    if (disk == u"read-only")
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    else if (!disk.isEmpty() && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + disk,
                                                            "tmpfs", folder.path()}) != 0)
        QSKIP("a small tmpfs takes root to mount");
    if (disk == u"4096") // leaves no room at all
        writeTestFile(folder.filePath("filler"), QByteArray(4096, 'f'));
    const QString trust = set.value("trust", kind == Ftp ? "" : "127.0.0.1 " + server.pin());
    if (trust.contains(u' '))
        QVERIFY(writeTestFile(folder.filePath("vellumet-trust.txt"), trust.toUtf8()));
    // A second run at once, the live page fetched every 20 ms: lengths differ, so mixing shows.
    const QString live = "/site/public/live.html";
    const QList<QByteArray> whole{Targets[1].before, Targets[1].after, Targets[2].after};
    QElapsedTimer clock;
    clock.start();
    auto first =
        std::async(std::launch::async, [&] { return run(set, server, folder.path(), pages); });
    auto second = std::async(std::launch::async, [&] {
        return set.contains("second") ? run(set, server, secondFolder.path(), set["second"])
                                      : QStringList();
    });
    bool seenHalf = false;
    while (first.wait_for(20ms) != std::future_status::ready ||
           second.wait_for(0s) != std::future_status::ready)
        seenHalf = seenHalf || (set.contains("second") && !whole.contains(server.readFile(live)));
    const QStringList got = first.get(), secondLog = second.get();
    QVERIFY(!seenHalf);
    if (!secondLog.isEmpty()) {
        QVERIFY(secondLog.filter("ERROR").isEmpty() &&
                secondLog.contains("Putting File live.html") &&
                whole.mid(1).contains(server.readFile(live)));
        server.writeFile(live, Targets[1].after); // whichever run finished last
    }
    QVERIFY2(clock.elapsed() < 10000, "one time-out of 2 s at most");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Compared: the whole log after the connecting line, or its ERROR lines.
    const qsizetype from = got.indexOf(QRegularExpression("Connecting to Server .*")) + 1;
    const QString want =
        errors.startsWith(u'=') ? errors.mid(1)
        : errors.startsWith(u'!')
            ? "ERROR " + errors.mid(errors.startsWith(u"!!") ? 2 : 1) +
                  " - Failed to connect to Server"
            : QString(errors).replace(QRegularExpression("(^|; )(?=.)"), "\\1ERROR Failed to ");
    const QStringList seen = errors.startsWith(u'=') ? got.mid(from, got.size() - from - 2)
                                                     : got.filter(QRegularExpression("^ERROR"));
    QVERIFY2(matchesGaps(seen.join(u"; "_s), want), qPrintable(got.join(u'\n')));
    QCOMPARE(got.last(), u"Finished");
    QCOMPARE(got.first() == u"(login refused)", errors.startsWith(u"!!"));
    // A refused login is not tried again; extra connections only where asked for, and
    // where there is time they are used, resuming the first one's TLS session.
    const int runs = secondLog.isEmpty() ? 1 : 2;
    const int logins =
        errors.startsWith(u'!')
            ? runs
            : runs * int(std::min(set.value("connections", "1").toLongLong(), pageCount));
    QVERIFY(server.logins() <= logins);
    QVERIFY(got.filter("Current Directory is").isEmpty() || logins != 1 ||
            (server.connections() == 1 && server.logins() == 1));
    QVERIFY(!options.join(u' ').contains("--slow-stor") || server.logins() > runs);
    QVERIFY(server.fullHandshakes() <= runs);
    QVERIFY(got.filter("no login was sent").isEmpty() || server.logins() == 0);
    // Every page in the program folder is whole: as fetched or as spliced.
    for (const QString &file : filesBelow(folder.path())) {
        const QByteArray bytes = readTestFile(folder.path() + file);
        const auto same = [&](const Target &t) {
            return t.path.endsWith(file) && (bytes == t.before || bytes == t.after);
        };
        QVERIFY2(file.endsWith(u".txt") || file == u"/filler" || file == u"/vellumet.ini" ||
                     std::any_of(Targets.begin(), Targets.end(), same) ||
                     (bytes.isEmpty() && got.contains("ERROR Empty File " + file.mid(1))),
                 qPrintable(file));
    }
    // Each page of the run is put, or an ERROR says what stopped it.
    if (errors.isEmpty())
        QCOMPARE(got.filter("Putting File ").size(), pageCount);
    const bool broken = options.join(u' ').contains(QRegularExpression("--(cut|stall)"));
    checkServer(got, server, broken);
    // The program's run writes what publishSite writes for the same site and server.
    if (set.contains("program") && errors.isEmpty()) {
        for (const Target &target : Targets)
            QVERIFY(server.writeFile(target.path, target.before));
        set.remove("program");
        set.remove("password");
        QCOMPARE(run(set, server, secondFolder.path(), pages), got);
    }
    if (!broken)
        return;
    // A sound run puts right what a broken one left; that run's own temporary files stay.
    server.stop();
    QVERIFY2(server.start({"--start-dir=/site"}), qPrintable(server.errorString()));
    set.remove("interrupt");
    const QStringList again = run(set, server, folder.path(), pages);
    QVERIFY(again.filter("ERROR").isEmpty() && again.filter("Putting File ").size() == pageCount);
    checkServer(again, server, true);
}

QTEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"

#include "FakeFtpClient.h"
#include "TestFiles.h"

#include "publish/NetworkModule.h"
#include "publish/PublishRun.h"
#include "publish/PublishTask.h"

namespace
{

const QString Connected = u"Connect ftp.example.com web s3cret"_s;

// settings: "login <value>", "password ...", "server ...", "paragraph <name>".
PublishJob Job(const QStringList &pages, const QString &folder, const QStringList &settings = {})
{
    PublishJob job{{}, {}, {{"Intro", "Intro", "Fish & chips\r\n"}}, folder};
    for (const QString &page : pages) // "source|target|directory"
        job.pages.append(
            {page.section(u'|', 0, 0), page.section(u'|', 1, 1), page.section(u'|', 2)});
    for (const QString &setting :
         QStringList{"server ftp.example.com", "login web", "password s3cret"} + settings)
        (setting.startsWith(u"login")      ? job.settings.login
         : setting.startsWith(u"password") ? job.settings.password
         : setting.startsWith(u"server")   ? job.settings.server
                                           : job.paragraphs[0].name) = setting.section(u' ', 1);
    return job;
}

QStringList Publish(const PublishJob &job, FakeFtpServer &server)
{
    FakeFtpClient ftp(server);
    publishSite(job, ftp, [&](const QString &line) { (void)server.note(line); });
    return server.calls();
}

} // namespace

class TestPublishRun : public QObject
{
    Q_OBJECT
private slots:
    void log_data()
    {
        // script: "fail|throw <call>", "empty|link <file>", "home <dir>", "login <v>" (";" between,
        // as pages); log: lines by "; ", "*" ends a line's start; folderInTheWay: a file's place
        columns<QString, QString, QString, QString>("pages", "script", "folderInTheWay", "log");

        const QString connect =
            "Saving local copy; Connecting to Server ftp.example.com; " + Connected;
        const QString start = connect + "; Current Directory is /home/site; ",
                      end = "Disconnecting; Disconnect; Finished";
        const auto get = [](const QString &n) {
            return "Getting File " + n + "; GetFile " + n + "; ";
        };
        const auto page = [&](const QString &n, const QString &t) {
            return get(n) + "Putting File " + t + "; PutFile " + t + "; ";
        };
        const QString cdFails =
            "Changing Directory to /x; ChangeDir /x; ERROR Failed to Change Directory to /x; ";
        const char *a = "a.html|a.html|";

        row("directory changed once, compared with the last success",
            "a.html|a.html|pub;b.html|b.html|/x;c.html|c.html|/x;d.html|d.html|pub",
            "fail ChangeDir /x", "",
            start +
                "Changing Directory to pub; ChangeDir pub; Current Directory is /home/site/pub; " +
                page("a.html", "a.html") + cdFails + cdFails + page("d.html", "d.html") + end);
        row("each failure ends only its page",
            "a.html|a.html|;b.html|b.html|;c.html|c.html|;../d|d|;"
            "s.html|t.html|;u.html|v.html|;e.html|e.html|",
            "fail GetFile a.html;throw GetFile b.html;empty c.html;fail PutFile v.html", "t.html",
            "Saving local copy; ERROR Invalid File Name ../d; ERROR Failed to Write File t.html - "
            "it is a folder; " +
                start.mid(19) + get("a.html") + "ERROR Failed to Get File a.html; " +
                get("b.html") + "ERROR fake failure; " + get("c.html") +
                "ERROR Empty File c.html; " + page("u.html", "v.html") +
                "ERROR Failed to Put File v.html; " + page("e.html", "e.html") + end);
        row("local copy not writable, run goes on", "", "", "Intro.txt",
            "Saving local copy; ERROR Failed to Save Local Copy Intro.txt - *; " + start.mid(19) +
                end);
        const QString refused = "Saving local copy; Connecting to Server ftp.example.com; ERROR ";
        row("LF in LOGIN", a, "login web\nDELE x", "",
            refused + "Invalid character in LOGIN - Failed to connect to Server; Finished");
        row("CR in PASSWORD", a, "password s3cret\rDELE x", "",
            refused + "Invalid character in PASSWORD - Failed to connect to Server; Finished");
        row("NUL in SERVER", a, QString("server ftp.example.com") + QChar(0), "",
            "Saving local copy; Connecting to Server ftp.example.com^@; ERROR Invalid character in "
            "SERVER - Failed to connect to Server; Finished");
        row("control characters in PAGE and PARAGRAPH, shown on one line",
            "a\nFinished|a.html|;a.html|a\rb|;a.html|a.html|pub\x7f", "paragraph In\ntro", "",
            "Saving local copy; ERROR Failed to Save Local Copy In\\ntro.txt - not a valid file "
            "name; ERROR Invalid File Name a\\nFinished; ERROR Invalid File Name a\\rb; ERROR "
            "Invalid Directory Name pub^?; " +
                start.mid(19) + end);
        row("the program's own files and links",
            "vellumet.ini;x|VELLUMET-TRUST.TXT|;intro.TXT|a|;.vellumet.lock;vellumet|a|;"
            "history;Qt.conf;a.html",
            "link a.html", "",
            "Saving local copy; ERROR Invalid File Name vellumet.ini; ERROR Invalid File Name "
            "VELLUMET-TRUST.TXT; ERROR Invalid File Name intro.TXT; ERROR Invalid File Name "
            ".vellumet.lock; ERROR Invalid File Name vellumet; ERROR Invalid File Name history; "
            "ERROR Invalid File Name Qt.conf; "
            "ERROR Failed to Write File a.html - it is a link; " +
                start.mid(19) + end);
        row("forged lines in a server reply", "", "home /a\r\nFinished\r\nERROR hacked\t\x1b", "",
            connect + "; Current Directory is /a\\r\\nFinished\\r\\nERROR hacked\\t^[; " + end);
    }
    void log()
    {
        const auto [pages, script, folderInTheWay, log] =
            fetch<QString, QString, QString, QString>("pages", "script", "folderInTheWay", "log");
        QTemporaryDir folder;
        if (!folderInTheWay.isEmpty())
            QVERIFY(QDir(folder.path()).mkdir(folderInTheWay));
        FakeFtpServer server;
        QStringList settings;
        const QMap<QString, QStringList *> scripted{{"fail", &server.failing},
                                                    {"throw", &server.throwing},
                                                    {"empty", &server.fetchedEmpty}};
        for (const QString &line : script.split(u';', Qt::SkipEmptyParts)) {
            const QString word = line.section(u' ', 0, 0), rest = line.section(u' ', 1);
            if (word == u"home")
                server.home = rest;
            else if (word == u"link") // dangling, into a folder that does not exist
                QVERIFY(QFile::link(folder.filePath("nowhere/x"), folder.filePath(rest)));
            else
                *scripted.value(word, &settings) << (scripted.contains(word) ? rest : line);
        }
        const QStringList actual =
            Publish(Job(pages.split(u';', Qt::SkipEmptyParts), folder.path(), settings), server);
        const QStringList lines = log.split(u"; "_s);
        QCOMPARE(actual.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].endsWith(u'*') ? actual[i].startsWith(lines[i].chopped(1))
                                             : actual[i] == lines[i],
                     qPrintable(actual[i]));
    }
    // One name: filled in place, put once; two: the source never put. A lost earlier text: no stop.
    void uploads()
    {
        QTemporaryDir folder;
        QVERIFY(writeTestFile(folder.filePath(u"Intro.txt"_s), "old") &&
                writeTestFile(folder.filePath(u"history"_s), "in the way"));
        FakeFtpServer server;
        const QStringList calls =
            Publish(Job({"a.html|a.html|", "s.html|t.html|"}, folder.path()), server);
        QVERIFY2(calls[1].startsWith(u"ERROR Failed to Keep Earlier Text Intro.txt - "_s),
                 qPrintable(calls[1]));
        QCOMPARE(calls[2], u"Connecting to Server ftp.example.com"_s);
        QCOMPARE(readTestFile(folder.filePath(u"Intro.txt"_s)), "Fish & chips");
        const QByteArray filled = "<p>Fish &amp; chips</p>\r\n";
        QCOMPARE(server.uploads(),
                 (QMap<QString, QByteArray>{{"a.html", filled}, {"t.html", filled}}));
        QCOMPARE(server.calls().filter(u"PutFile "_s).size(), 2);
    }
    // No client: saved text, a failed login; stopped while held: ends at once; closing lines first.
    void task_data()
    {
        // client: 0 none, 1 one that throws, 2 a held login, 3 the network module absent,
        // 4 the built module (to an unreachable server); log: after the connecting line
        columns<int, QString>("client", "log");
        const char *notMade =
            "ERROR The connection could not be set up... - Failed to connect to Server; Finished";
        row("factory gives nothing", 0, notMade);
        row("factory throws", 1, notMade);
        row("stopped", 2,
            "ERROR The transfer was stopped - Failed to connect to Server; ERROR "
            "Publishing was stopped; Finished");
        row("no network module", 3,
            "ERROR The connection could not be set up (libvellumet_network.so is in neither "
            "... nor its lib folder) - Failed to connect to Server; Finished");
        row("network module", 4,
            "ERROR Could not reach 127.0.0.1 (...) - Failed to connect to Server; Finished");
    }
    void task()
    {
        const auto [client, log] = fetch<int, QString>("client", "log");
        QTemporaryDir folder;
        FakeFtpServer server;
        server.holdLogins();
        const QString module = client == 4 ? VELLUMET_NETWORK_MODULE_DIR : folder.path();
        PublishTask task(client == 2   ? server.clients()
                         : client >= 3 ? networkModuleClients(module, folder.path())
                                       : [client]() -> std::unique_ptr<FtpClient> {
            return client ? throw std::runtime_error("no memory") : nullptr;
        });
        QStringList lines;
        connect(&task, &PublishTask::lineWritten, this, [&](const QString &line) {
            lines << line;
            if (line.startsWith(u"Connecting") && client == 2)
                task.cancel();
        });
        connect(&task, &PublishTask::finished, this,
                [&] { lines << QString::number(task.isRunning()); });
        QVERIFY(task.start(Job({"a.html|a.html|"}, folder.path(), {"server 127.0.0.1:1"})) &&
                !task.start(Job({}, folder.path())));
        QTRY_VERIFY_WITH_TIMEOUT(lines.endsWith(u"0"_s), 2000); // at once, even when held
        QVERIFY2(matchesGaps(lines.mid(2).join(u"; "_s), log + "; 0"),
                 qPrintable(lines.join(u'\n')));
        QCOMPARE(task.outcome().paragraphs.at(0).text, u"Fish & chips"_s);
        QVERIFY(readTestFile(folder.filePath(u"Intro.txt"_s)) == "Fish & chips" &&
                !server.logins());
    }
    void parallelLogReadsAsOneConnections_data()
    {
        // script: "fail <call>", "lose <call>" or "limit <logins>"; logins: of the parallel run
        columns<QString, int, int>("script", "logins", "errors");
        row("success", "", 8, 0);
        row("missing file", "fail GetFile c.html", 8, 1);
        row("failed directory change", "fail ChangeDir /x", 8, 3);
        row("refused extra logins", "limit 3", 3, 0);
        row("connection lost during a page", "lose PutFile b2.html", 8, 1);
    }
    // Whichever connection takes a page, and in whatever order, the log is one connection's.
    void parallelLogReadsAsOneConnections()
    {
        const auto [script, logins] = fetch<QString, int>("script", "logins");
        const QString word = script.section(u' ', 0, 0), rest = script.section(u' ', 1);
        // a.html twice: pages that share a file are done in turn on one connection.
        const QStringList pages = u"a.html|a.html|pub;b.html|b2.html|pub;c.html|c.html|/x;d.html|"
                                  "d.html|;a.html|a.html|/x;e.html|e.html|pub;f.html|f.html|/x;"
                                  "g.html|g.html|;h.html|h.html|pub"_s.split(u';');
        QStringList logs[2];
        for (const int connections : {1, 8}) {
            QTemporaryDir folder;
            FakeFtpServer server;
            server.fetchMs = 5;
            word == u"limit" ? void(server.loginLimit = rest.toInt())
                             : (word == u"fail" ? server.failing : server.losing).append(rest);
            PublishJob job = Job(pages, folder.path());
            job.settings.connections = connections;
            FakeFtpClient ftp(server);
            QStringList &log = logs[connections > 1];
            publishSite(
                job, ftp, [&](const QString &line) { log << line; }, nullptr, server.clients());
            QCOMPARE(server.logins(), connections > 1 ? logins : 1);
        }
        QCOMPARE(logs[1], logs[0]);
        QTEST(int(logs[0].filter(u"ERROR"_s).size()), "errors");
    }
};

QTEST_GUILESS_MAIN(TestPublishRun)
#include "tst_publishrun.moc"

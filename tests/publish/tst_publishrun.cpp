#include "FakeFtpClient.h"

#include "publish/PublishRun.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QString Connected = QStringLiteral("Connect ftp.example.com web s3cret");

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

// Script lines: "home <dir>", "fail <call>", "throw <call>", "empty <file>" (fetched,
// nothing written), "dir <name>" (a folder stands where the program writes that file).
void ApplyScript(const QStringList &script, FakeFtpClient &ftp, const QString &folder)
{
    for (const QString &line : script) {
        const QString verb = line.section(u' ', 0, 0);
        const QString rest = line.section(u' ', 1);
        if (verb == u"home")
            ftp.home = rest;
        else if (verb == u"fail")
            ftp.failing.append(rest);
        else if (verb == u"throw")
            ftp.throwing.append(rest);
        else if (verb == u"empty")
            ftp.fetchedEmpty.append(rest);
        else if (verb == u"dir")
            QDir(folder).mkdir(rest);
    }
}

struct Run {
    QStringList log;
    QStringList calls;
    QStringList uploads;
};

Run Publish(const QStringList &pages, const QStringList &script, const QString &folder)
{
    PublishJob job;
    job.Settings.Server = QStringLiteral("ftp.example.com");
    job.Settings.Login = QStringLiteral("web");
    job.Settings.Password = QStringLiteral("s3cret");
    job.Pages = Pages(pages);
    job.Paragraphs = {
        {QStringLiteral("Intro"), QStringLiteral("Intro"), QStringLiteral("Fish & chips\r\n")}};
    job.Folder = folder;
    FakeFtpClient ftp(folder);
    ApplyScript(script, ftp, folder);
    Run run;
    PublishSite(job, ftp, [&](const QString &line) { run.log.append(line); });
    run.calls = ftp.calls;
    run.uploads = ftp.uploads;
    return run;
}

// Expected lines ending in "*" match by their beginning (the rest is the system's reason).
void CompareLog(const QStringList &actual, const QStringList &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (expected[i].endsWith(u'*'))
            QVERIFY2(actual[i].startsWith(expected[i].chopped(1)), qPrintable(actual[i]));
        else
            QCOMPARE(actual[i], expected[i]);
    }
}

} // namespace

class TestPublishRun : public QObject
{
    Q_OBJECT
private slots:
    void log_data();
    void log();
    void remotePath_data();
    void remotePath();
    void uploads_data();
    void uploads();
};

void TestPublishRun::log_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("calls");

    const QStringList start{"Saving local copy", "Connecting to Server ftp.example.com",
                            "Current Directory is /home/site"};
    const QStringList end{"Disconnecting", "Finished"};
    auto page = [](const QString &name) {
        return QStringList{"Getting File " + name, "Putting File " + name};
    };
    auto calls = [](const QString &name) {
        return QStringList{"GetFile " + name, "PutFile " + name, "PutFile " + name};
    };
    auto change = [](const QString &path, const QString &now) {
        return QStringList{"Changing Directory to " + path, "Current Directory is " + now};
    };

    QTest::newRow("no pages") << QStringList() << QStringList() << start + end
                              << QStringList{Connected, "Disconnect"};
    QTest::newRow("wrong password")
        << QStringList{"a.html|a.html|public"} << QStringList{"fail " + Connected}
        << QStringList{"Saving local copy", "Connecting to Server ftp.example.com",
                       "ERROR Login incorrect (530) - Failed to connect to Server", "Finished"}
        << QStringList{Connected};
    QTest::newRow("two pages, one directory change")
        << QStringList{"a.html|a.html|public", "b.html|b.html|public"} << QStringList()
        << start + change("public", "/home/site/public") + page("a.html") + page("b.html") + end
        << QStringList{Connected, "ChangeDir public"} + calls("a.html") + calls("b.html") +
               QStringList{"Disconnect"};
    QTest::newRow("empty first directory, later back home")
        << QStringList{"a.html|a.html|", "b.html|b.html|public", "c.html|c.html|"} << QStringList()
        << start + page("a.html") + change("public", "/home/site/public") + page("b.html") +
               change("/home/site", "/home/site") + page("c.html") + end
        << QStringList{Connected} + calls("a.html") + QStringList{"ChangeDir public"} +
               calls("b.html") + QStringList{"ChangeDir /home/site"} + calls("c.html") +
               QStringList{"Disconnect"};
    QTest::newRow("failed change is tried again, compared with the last success")
        << QStringList{"a.html|a.html|public", "b.html|b.html|/x", "c.html|c.html|/x",
                       "d.html|d.html|public"}
        << QStringList{"fail ChangeDir /x"}
        << start + change("public", "/home/site/public") + page("a.html") +
               QStringList{"Changing Directory to /x", "ERROR Failed to Change Directory to /x",
                           "Changing Directory to /x", "ERROR Failed to Change Directory to /x"} +
               page("d.html") + end
        << QStringList{Connected, "ChangeDir public"} + calls("a.html") +
               QStringList{"ChangeDir /x", "ChangeDir /x"} + calls("d.html") +
               QStringList{"Disconnect"};
    QTest::newRow("missing source")
        << QStringList{"a.html|a.html|", "b.html|b.html|"} << QStringList{"fail GetFile a.html"}
        << start + QStringList{"Getting File a.html", "ERROR Failed to Get File a.html"} +
               page("b.html") + end
        << QStringList{Connected, "GetFile a.html"} + calls("b.html") + QStringList{"Disconnect"};
    QTest::newRow("two names: source back first, then target")
        << QStringList{"s.html|t.html|"} << QStringList()
        << start + QStringList{"Getting File s.html", "Putting File t.html"} + end
        << QStringList{Connected, "GetFile s.html", "PutFile s.html", "PutFile t.html",
                       "Disconnect"};
    QTest::newRow("failed source upload unreported, failed target reported")
        << QStringList{"s.html|t.html|"}
        << QStringList{"fail PutFile s.html", "fail PutFile t.html"}
        << start +
               QStringList{"Getting File s.html", "Putting File t.html",
                           "ERROR Failed to Put File t.html"} +
               end
        << QStringList{Connected, "GetFile s.html", "PutFile s.html", "PutFile t.html",
                       "Disconnect"};
    QTest::newRow("local copy not writable, run goes on")
        << QStringList() << QStringList{"dir Intro.txt"}
        << QStringList{"Saving local copy", "ERROR Failed to Save Local Copy Intro.txt - *"} +
               start.mid(1) + end
        << QStringList{Connected, "Disconnect"};
    QTest::newRow("fetched source unreadable, nothing uploaded")
        << QStringList{"a.html|a.html|", "b.html|b.html|"} << QStringList{"empty a.html"}
        << start + QStringList{"Getting File a.html", "ERROR Failed to Read File a.html"} +
               page("b.html") + end
        << QStringList{Connected, "GetFile a.html"} + calls("b.html") + QStringList{"Disconnect"};
    QTest::newRow("target not writable, nothing uploaded")
        << QStringList{"s.html|t.html|", "b.html|b.html|"} << QStringList{"dir t.html"}
        << start + QStringList{"Getting File s.html", "ERROR Failed to Write File t.html - *"} +
               page("b.html") + end
        << QStringList{Connected, "GetFile s.html"} + calls("b.html") + QStringList{"Disconnect"};
    QTest::newRow("throwing fetch ends only its page")
        << QStringList{"a.html|a.html|", "b.html|b.html|"} << QStringList{"throw GetFile a.html"}
        << start + QStringList{"Getting File a.html", "ERROR fake failure"} + page("b.html") + end
        << QStringList{Connected, "GetFile a.html"} + calls("b.html") + QStringList{"Disconnect"};
    QTest::newRow("throwing login")
        << QStringList{"a.html|a.html|"} << QStringList{"throw " + Connected}
        << QStringList{"Saving local copy", "Connecting to Server ftp.example.com",
                       "ERROR fake failure", "Finished"}
        << QStringList{Connected};
    QTest::newRow("throwing disconnect")
        << QStringList() << QStringList{"throw Disconnect"}
        << start + QStringList{"Disconnecting", "ERROR fake failure", "Finished"}
        << QStringList{Connected, "Disconnect"};
}

void TestPublishRun::log()
{
    QFETCH(QStringList, pages);
    QFETCH(QStringList, script);
    QFETCH(QStringList, log);
    QFETCH(QStringList, calls);

    QTemporaryDir folder;
    const Run run = Publish(pages, script, folder.path());
    CompareLog(run.log, log);
    QCOMPARE(run.calls, calls);
}

void TestPublishRun::remotePath_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QStringList>("directories");
    QTest::addColumn<QStringList>("changes");

    // The first change goes out as configured; the server resolves it from the login
    // directory. From then on relative directories are joined to HomeDir.
    QTest::newRow("first change relative")
        << "/home/site" << QStringList{"public"} << QStringList{"public"};
    QTest::newRow("relative") << "/home/site" << QStringList{"x", "public"}
                              << QStringList{"x", "/home/site/public"};
    QTest::newRow("empty is home")
        << "/home/site" << QStringList{"x", ""} << QStringList{"x", "/home/site"};
    QTest::newRow("absolute") << "/home/site" << QStringList{"x", "/pub"}
                              << QStringList{"x", "/pub"};
    QTest::newRow("root home") << "/" << QStringList{"x", "public"} << QStringList{"x", "/public"};
    QTest::newRow("root home, empty") << "/" << QStringList{"x", ""} << QStringList{"x", "/"};
    QTest::newRow("home with slash")
        << "/home/site/" << QStringList{"x", "public"} << QStringList{"x", "/home/site/public"};
    QTest::newRow("no home, empty") << "" << QStringList{"x", ""} << QStringList{"x", "/"};
    QTest::newRow("no home, relative")
        << "" << QStringList{"x", "public"} << QStringList{"x", "/public"};
}

void TestPublishRun::remotePath()
{
    QFETCH(QString, home);
    QFETCH(QStringList, directories);
    QFETCH(QStringList, changes);

    QStringList pages;
    for (const QString &directory : directories)
        pages.append("a.html|a.html|" + directory);
    QTemporaryDir folder;
    const Run run = Publish(pages, {"home " + home}, folder.path());
    QStringList sent;
    for (const QString &call : run.calls)
        if (call.startsWith(u"ChangeDir "))
            sent.append(call.mid(10));
    QCOMPARE(sent, changes);
}

void TestPublishRun::uploads_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("uploads");

    QTest::newRow("one name: filled in place, put twice")
        << "a.html|a.html|"
        << QStringList{"a.html: <p>Fish &amp; chips</p>\r\n",
                       "a.html: <p>Fish &amp; chips</p>\r\n"};
    QTest::newRow("two names: source keeps its markers")
        << "s.html|t.html|"
        << QStringList{"s.html: <p>@{Intro}@</p>\r\n", "t.html: <p>Fish &amp; chips</p>\r\n"};
}

void TestPublishRun::uploads()
{
    QFETCH(QString, page);
    QFETCH(QStringList, uploads);

    QTemporaryDir folder;
    QCOMPARE(Publish({page}, {}, folder.path()).uploads, uploads);
}

QTEST_GUILESS_MAIN(TestPublishRun)
#include "tst_publishrun.moc"

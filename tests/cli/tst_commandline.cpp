#include "FtpTestServer.h"

#include "site/FolderLock.h"

namespace
{

const QByteArray None = "-"; // no vellumet.ini at all
const QByteArray Login = "SERVER=s\r\nLOGIN=l\r\nPASSWORD=p\r\n";
const QByteArray Site = Login +
                        "PAGE=index.tpl,index.html\r\nPAGE=gone.html\r\n"
                        "PAGE=other.tpl,index.tpl\r\nPARAGRAPH=Intro\r\nPARAGRAPH=Hours\r\n";

// stdout then stderr, each line trimmed, joined by "; ", the file's path as "ini".
QString runProgram(const QStringList &arguments, const QString &folder, int &status)
{
    QProcess program;
    program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    program.start(QString::fromUtf8(VELLUMET_BINARY), arguments);
    if (!program.waitForFinished(60000))
        return u"<no end>"_s;
    status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    QStringList lines;
    for (const QByteArray &line :
         (program.readAllStandardOutput() + program.readAllStandardError()).split('\n'))
        if (!line.trimmed().isEmpty())
            lines << QString::fromUtf8(line.trimmed());
    return lines.join(u"; "_s).replace(folder + u"/vellumet.ini"_s, u"ini"_s);
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void run_data();
    void run();
};

// ini "-": none; files: local copies, "locked" for a lock held; pages: on a server, "a=b|c=d".
void TestCommandLine::run_data()
{
    columns<QString, QByteArray, QString, QString, QString, int>("args", "ini", "files", "pages",
                                                                 "want", "status");
    const char *check = "--check FOLDER", *copies = "Intro.txt,Hours.txt";
    const QString lineFeed = "ini:4: a line feed without a carriage return does not end this "
                             "line: what follows it is read as part of it; end the line with CR LF";
    row("nothing wrong", check, Login + "PARAGRAPH=Intro\r\n", "Intro.txt", "",
        "ini: no problems found", 0);
    row("line feeds alone", check, QByteArray("SERVER=s\nLOGIN=l\nPASSWORD=p\n"), "", "",
        "ini:1: the lines end in a line feed alone, so the whole file is read as one line and "
        "only its first setting counts: ...; ini: LOGIN is missing or empty, so Save cannot log "
        "in",
        1);
    row("one lone line feed", check, Login + "TITLE=a\nPHONE=1\r\n", "", "", lineFeed, 1);
    row("byte-order mark", check, "\xEF\xBB\xBF" + Login, "", "",
        "ini:1: the file begins with a byte-order mark, which becomes part of the first key, so "
        "this line's setting is ignored: ...; ini: SERVER is missing or empty, so Save cannot "
        "connect",
        1);
    row("unknown keys", check, Login + "FOO=1\r\nlogin\t=x\r\n=y\r\n", "", "",
        "ini:4: unknown key \"FOO\": the line is ignored; ini:5: unknown key \"LOGIN\\t\": a tab "
        "beside a key is part of it, so the line is ignored; ini:6: the line has no key before "
        "\"=\" and is ignored",
        1);
    row("key given twice", check, "server=x\r\n" + Login, "", "",
        "ini:1: SERVER is given again on line 2, and only that last one counts", 1);
    row("paragraph names given twice", check,
        Login + "PARAGRAPH=News\r\nPARAGRAPH=News,x\r\nPARAGRAPH=news\r\n", "News.txt", "",
        "ini:5: the paragraph name \"News\" is given before, on line 4; ini:6: the paragraph "
        "name \"news\" differs from \"News\" on line 4 only in letter case, and on Windows both "
        "share one local copy",
        1);
    row("paragraph names that are no file names", check,
        Login + "PARAGRAPH=a/b,x\r\nPARAGRAPH=Dot.\r\nPARAGRAPH=a?\r\nPARAGRAPH=Vellumet-Trust\r\n",
        "", "",
        "ini:4: the paragraph name \"a/b\" holds a character no file name may hold, so its text "
        "cannot have a local copy; ini:5: the paragraph name \"Dot.\" ends in a space or a dot, "
        "which Windows drops from file names, ...; ini:6: the paragraph name \"a?\" holds ...; "
        "ini:7: the paragraph name \"Vellumet-Trust\" would name one of the program's own ...",
        1);
    row("paragraph without its local copy", check, Login + "PARAGRAPH=Intro\r\n", "", "",
        "ini:4: the paragraph \"Intro\" has no local copy Intro.txt, so it starts empty", 1);
    row("page names and directories", check,
        Login + "PAGE=,x.html\r\nPAGE=a.html, b.html,/p\r\nPAGE=a,vellumet.ini,ftp://h/d\r\n"
                "DIRECTORY=/pub\t\r\n",
        "", "",
        "ini:4: the page's source name is empty; ini:5: the page's target name \" b.html\" begins "
        "or ends with a space: spaces next to a comma stay part of it; ini:6: the page's target "
        "name \"vellumet.ini\" is not a file of its own in the page's directory; ini:6: the "
        "directory \"ftp://h/d\" is an address, not a path on the server; ini:7: the directory "
        "\"/pub\\t\" holds a control character",
        1);
    row("for scripts", "--check FOLDER --json", "server=x\r\n" + Login, "", "",
        "{; \"file\": \"ini\",; \"problems\": [; {; \"kind\": \"repeated-key\",; \"line\": 1,; "
        "\"message\": \"SERVER is given again on line 2, and only that last one counts\"; }; "
        "]; }",
        1);
    row("no site definition", check, None, "", "", "vellumet: ini: it does not exist", 2);
    row("online: case, missing page, stray marker, target over a source", "--check --online FOLDER",
        Site, copies, "index.tpl=<p>@{intro}@ @{Hours}@ @{Nope}@ @{x\r\n}@</p>|other.tpl=<p></p>",
        "ini:4: the source \"index.tpl\" holds the marker @{intro}@, which names no paragraph: "
        "only the letter case differs from \"Intro\" on line 7; ini:4: the source \"index.tpl\" "
        "holds the marker @{Nope}@, which names no paragraph; ini:5: the page's source "
        "\"gone.html\" cannot be fetched: ...; ini:6: the target \"index.tpl\" is also the "
        "source of the page on line 4, whose markers the first Save would fill in for good",
        1);
    row("online: a paragraph on no page", "--check FOLDER --online", Site, copies,
        "index.tpl=<p>@{Hours}@</p>|gone.html=|other.tpl=",
        "ini:6: the target ...; ini:7: the marker @{Intro}@ of the paragraph \"Intro\" is on no "
        "page (a page given one file name loses its markers at the first Save)",
        1);
    row("online: wrong password", "--check FOLDER --online", Site, copies,
        "index.tpl=", "ini: could not log in: Authentication failed (530)", 1);
    row("publish while a window holds the folder", "--publish FOLDER", Login, "locked", "",
        "vellumet: Vellumet is already running in FOLDER: Process ... is using this folder. ...",
        2);
    row("help", "--help", None, "", "", "Usage: vellumet [--check [FOLDER] ...", 0);
    row("version", "--version", None, "", "", "vellumet " VELLUMET_VERSION, 0);
    row("unknown option", "--check --bogus", None, "", "",
        "vellumet: unknown option --bogus (see vellumet --help)", 2);
    row("two folders", "--publish FOLDER FOLDER", None, "", "",
        "vellumet: only one folder may be given: FOLDER (see vellumet --help)", 2);
    row("option without a command", "--json", None, "", "",
        "vellumet: a folder or option needs --check or --publish (see vellumet --help)", 2);
}

void TestCommandLine::run()
{
    const auto [args, ini, files, pages, want, status] =
        fetch<QString, QByteArray, QString, QString, QString, int>("args", "ini", "files", "pages",
                                                                   "want", "status");
    QTemporaryDir folder;
    FtpTestServer server;
    QByteArray site = ini;
    if (!pages.isEmpty()) {
        for (const QString &page : pages.split(u'|'))
            QVERIFY(
                server.writeFile(u'/' + page.section(u'=', 0, 0), page.section(u'=', 1).toUtf8()));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QString password = want.contains("Authentication") ? "no" : server.password();
        site.replace(Login, ("SERVER=" + server.url() + "\r\nLOGIN=" + server.user() +
                             "\r\nPASSWORD=" + password + "\r\n")
                                .toUtf8());
    }
    if (site != "-")
        QVERIFY(writeTestFile(folder.filePath("vellumet.ini"), site));
    FolderLock lock(folder.path());
    for (const QString &file : files.split(u',', Qt::SkipEmptyParts))
        QVERIFY(file == u"locked" ? lock.take().ok() : writeTestFile(folder.filePath(file), "x"));
    int got = -1;
    const QString out =
        runProgram(QString(args).replace("FOLDER", folder.path()).split(u' '), folder.path(), got);
    QVERIFY2(matchesGaps(QString(out).replace(folder.path(), "FOLDER"), want), qPrintable(out));
    QCOMPARE(got, status);
    // Read-only: every page on the server is as it was, and no other file is there.
    if (!pages.isEmpty()) {
        QStringList left = QDir(server.localPath({})).entryList(QDir::Files);
        for (const QString &page : pages.split(u'|'))
            QVERIFY(left.removeOne(page.section(u'=', 0, 0)) &&
                    server.readFile(u'/' + page.section(u'=', 0, 0)) == page.section(u'=', 1));
        QCOMPARE(left, QStringList());
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

#include "TestFiles.h"

#include "site/AnsiText.h"
#include "site/History.h"
#include "site/LocalCopies.h"
#include "site/WholeFile.h"

#include <QTemporaryDir>

#include <QTest>
#include <sys/stat.h>

#include <unistd.h>

using namespace vellumet;

using namespace Qt::StringLiterals;

namespace
{

QList<Paragraph> Paras(const QString &name, const QString &text = {})
{
    return {{name, name, text}};
}

} // namespace

class TestLocalCopies : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void names_data();
    void names();
    void failedWriteKeepsThePreviousFile();
    void unreadableCopyIsNeverOverwrittenByNothing();
    void pageCharacterReferences();
    void pageCharset_data();
    void pageCharset();
    void earlierTexts();
};

void TestLocalCopies::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QTest::newRow("every Windows-1252 byte") << decodeAnsi(all) << all;
    QTest::newRow("trailing line ends trimmed") << u"a\r\n\r\n"_s << "a"_ba;
    QTest::newRow("outside Windows-1252: marked UTF-8")
        << u"\u0141\U0001F600"_s << "\xEF\xBB\xBF\xC5\x81\xF0\x9F\x98\x80"_ba;
    QTest::newRow("looks like the mark")
        << u"\u00EF\u00BB\u00BFx"_s << "\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBFx"_ba;
    QTest::newRow("begins with a zero-width no-break space")
        << u"\uFEFF\u0141"_s << "\xEF\xBB\xBF\xEF\xBB\xBF\xC5\x81"_ba;
}

// What is saved reads back as saved, and files of the old program read as Windows-1252.
void TestLocalCopies::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QTemporaryDir folder;
    QList<Paragraph> paras = Paras(u"p"_s, text);
    QVERIFY(saveLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(readTestFile(folder.filePath(u"p.txt"_s)), bytes);
    QList<Paragraph> loaded = Paras(u"p"_s);
    QVERIFY(loadLocalCopies(loaded, folder.path()).isEmpty());
    QCOMPARE(loaded[0].text, paras[0].text);
}

void TestLocalCopies::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("file"); // empty: refused and reported, nothing written

    QTest::newRow("parent folder") << u"../bait"_s << QString();
    QTest::newRow("backslash") << u"..\\bait"_s << QString();
    QTest::newRow("NUL") << u"bait"_s + QChar(0) << QString();
    QTest::newRow("two dots") << u".."_s << u"...txt"_s;
    QTest::newRow("empty") << QString() << u".txt"_s;
    QTest::newRow("longer than a file name may be") << QString(300, u'n') << QString();
    QTest::newRow("a folder stands in the way") << u"dir"_s << QString();
}

// Whatever a name holds, nothing is read or written outside the program folder.
void TestLocalCopies::names()
{
    QFETCH(QString, name);
    QFETCH(QString, file);
    QTemporaryDir root;
    const QString folder = root.filePath(u"program"_s);
    QVERIFY(QDir().mkpath(folder + u"/dir.txt"_s));
    QVERIFY(writeTestFile(root.filePath(u"bait.txt"_s), "outside"));
    QList<Paragraph> paras = Paras(name);
    QVERIFY(loadLocalCopies(paras, folder).isEmpty());
    QCOMPARE(paras[0].text, QString());

    paras[0].text = u"typed"_s;
    const QList<LocalCopyFailure> failures = saveLocalCopies(paras, folder);
    QCOMPARE(failures.size(), file.isEmpty() ? 1 : 0);
    QStringList written{u"dir.txt"_s};
    if (!file.isEmpty())
        written.append(file);
    written.sort();
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             written);
    QCOMPARE(QDir(root.path()).entryList(QDir::Files), QStringList{u"bait.txt"_s});
    QCOMPARE(readTestFile(root.filePath(u"bait.txt"_s)), "outside");
}

void TestLocalCopies::failedWriteKeepsThePreviousFile()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only folders");
    QTemporaryDir folder;
    QVERIFY(writeTestFile(folder.filePath(u"a.txt"_s), "previous"));
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
    QList<Paragraph> paras = Paras(u"a"_s, u"new"_s);
    const QList<LocalCopyFailure> failures = saveLocalCopies(paras, folder.path());
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures[0].fileName, u"a.txt"_s);
    QCOMPARE(readTestFile(folder.filePath(u"a.txt"_s)), "previous");
}

void TestLocalCopies::unreadableCopyIsNeverOverwrittenByNothing()
{
    if (geteuid() == 0)
        QSKIP("root reads unreadable files");
    QTemporaryDir folder;
    const QString path = folder.filePath(u"a.txt"_s);
    QVERIFY(writeTestFile(path, "precious"));
    QFile::setPermissions(path, QFile::WriteOwner);
    QList<Paragraph> paras = Paras(u"a"_s);
    QCOMPARE(loadLocalCopies(paras, folder.path()), QStringList{u"a.txt"_s});
    const QList<LocalCopyFailure> kept = saveLocalCopies(paras, folder.path());
    QVERIFY(kept.size() == 1 && kept[0].keptOnPurpose);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(readTestFile(path), "precious");

    paras[0].text = u"typed"_s;
    QVERIFY(saveLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(readTestFile(path), "typed");

    // Only regular files of a sane size are read; nothing else blocks or grows unbounded.
    const QString fifo = folder.filePath(u"fifo.txt"_s);
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QFile::link(u"/dev/zero"_s, folder.filePath(u"zero.txt"_s)));
    QFile huge(folder.filePath(u"huge.txt"_s));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(MaxFileBytes + 1));
    huge.close();
    QList<Paragraph> special = Paras(u"fifo"_s) + Paras(u"zero"_s) + Paras(u"huge"_s);
    const QStringList unreadable{u"fifo.txt"_s, u"zero.txt"_s, u"huge.txt"_s};
    QCOMPARE(loadLocalCopies(special, folder.path()), unreadable);
    for (const LocalCopyFailure &kept : saveLocalCopies(special, folder.path()))
        QVERIFY(kept.keptOnPurpose);
    QCOMPARE(QFileInfo(folder.filePath(u"zero.txt"_s)).symLinkTarget(), u"/dev/zero"_s);
    const Result<QByteArray> read = readWholeFile(fifo);
    QVERIFY2(read.error().contains(u"not a regular file"), qPrintable(read.error()));
}

void TestLocalCopies::pageCharacterReferences()
{
    QCOMPARE(encodeAnsiForHtml(QStringLiteral("\u00E9\u0141\U0001F600")),
             QByteArray("\xE9&#321;&#128512;"));
    const PageText ansi = decodePage("<p>caf\xE9</p>");
    QVERIFY(!ansi.utf8);
    QCOMPARE(encodePage(ansi.text + QStringLiteral("\u0141"), ansi.utf8),
             QByteArray("<p>caf\xE9</p>&#321;"));
    const QByteArray utf8Page("\xEF\xBB\xBF<meta charset=\"utf-8\"><p>caf\xC3\xA9</p>");
    const PageText utf8 = decodePage(utf8Page);
    QVERIFY(utf8.utf8);
    QCOMPARE(encodePage(utf8.text, utf8.utf8), utf8Page);
}

void TestLocalCopies::pageCharset_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("utf8");
    const QByteArray body = "<p>Prices</p>";
    QTest::newRow("meta charset, double quotes") << "<meta charset=\"utf-8\">" + body << true;
    QTest::newRow("upper case, no quotes") << "<META CHARSET=UTF-8>" + body << true;
    QTest::newRow("spaces around =") << "<meta charset = \"UTF-8\" />" + body << true;
    QTest::newRow("single quotes") << "<meta charset='utf-8'>" + body << true;
    QTest::newRow("utf8 alias") << "<meta charset=utf8>" + body << true;
    QTest::newRow("http-equiv Content-Type")
        << "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" + body << true;
    QTest::newRow("content before http-equiv, charset = 'utf-8'")
        << "<meta content=\"text/html;charset = 'utf-8'\" http-equiv=content-type>" + body << true;
    QTest::newRow("XHTML declaration")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html>" + body << true;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + body << true;
    QTest::newRow("after 900 bytes of head")
        << "<title>" + QByteArray(900, 'x') + "</title><meta charset=utf-8>" << true;
    QTest::newRow("undeclared, valid UTF-8 text") << QByteArray("<p>caf\xC3\xA9</p>") << true;
    QTest::newRow("undeclared ASCII") << body << false;
    QTest::newRow("declared, but the bytes are not UTF-8")
        << QByteArray("<meta charset=utf-8><p>caf\xE9</p>") << false;
    QTest::newRow("windows-1252 declared") << "<meta charset=windows-1252>" + body << false;
    QTest::newRow("the first declaration counts")
        << "<meta charset=iso-8859-1><meta charset=utf-8>" + body << false;
    QTest::newRow("content without http-equiv")
        << "<meta content=\"text/html; charset=utf-8\">" + body << false;
    QTest::newRow("other attribute name") << "<meta data-charset=\"utf-8\">" + body << false;
    QTest::newRow("inside a comment") << "<!-- <meta charset=utf-8> -->" + body << false;
    QTest::newRow("inside another tag's attribute")
        << "<a title='<meta charset=utf-8>'>" + body << false;
    QTest::newRow("in body text") << QByteArray("<p>Use charset=utf-8 here</p>") << false;
    QTest::newRow("beyond the first 1024 bytes")
        << body + QByteArray(1024, ' ') + "<meta charset=\"utf-8\">" << false;
}

void TestLocalCopies::pageCharset()
{
    QFETCH(QByteArray, page);
    QTEST(decodePage(page).utf8, "utf8");
}

// Each different text a save replaces is kept, newest first, at most 100, never twice.
void TestLocalCopies::earlierTexts()
{
    QTemporaryDir folder;
    const QString dir = folder.path();
    QList<Paragraph> paras = Paras(u"a"_s);
    for (const QString &text : {u"first"_s, u"first\r\n"_s, u"second"_s, u"\u0141"_s, u"third"_s})
        QVERIFY((paras[0].text = text, saveLocalCopies(paras, dir).isEmpty()));
    const auto texts = [&](const QString &name) {
        QStringList all;
        for (const EarlierText &earlier : vellumet::earlierTexts(dir, name))
            all.append(earlier.text);
        return all;
    };
    QCOMPARE(texts(u"a"_s), (QStringList{u"\u0141"_s, u"second"_s, u"first"_s}));
    QVERIFY(keepEarlierText(dir, u"a"_s, u"\u0141"_s).ok() && texts(u"a"_s).size() == 3);

    const QDateTime second(QDate(2026, 12, 6), QTime(15, 40, 12));
    for (int i = 0; i < MaxEarlierTexts + 4; ++i)
        QVERIFY(keepEarlierText(dir, u"b"_s, QString::number(i), second.addSecs(i / 2)));
    const QList<EarlierText> kept = vellumet::earlierTexts(dir, u"b"_s);
    QCOMPARE(kept.size(), MaxEarlierTexts);
    QCOMPARE(kept.first().fileName, u"2026-12-06 15-41-03 (2).txt"_s);
    QCOMPARE(kept.first().replaced, second.addSecs(51));
    QCOMPARE(kept.last().text, u"4"_s);

    // Never through a link, nor out of the history folder.
    QVERIFY(QFile::link(dir, folder.filePath(u"history/c"_s)));
    QVERIFY(!keepEarlierText(dir, u"c"_s, u"x"_s) && !hasEarlierTexts(dir, u"c"_s));
    QVERIFY(!keepEarlierText(dir, u".."_s, u"x"_s) && hasEarlierTexts(dir, u"a"_s));
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{u"a.txt"_s});

    // A full or read-only history holds no save back.
    if (geteuid() == 0)
        return;
    QFile::setPermissions(folder.filePath(u"history/a"_s), QFile::ReadOwner | QFile::ExeOwner);
    paras[0].text = u"fourth"_s;
    const QList<LocalCopyFailure> failures = saveLocalCopies(paras, dir);
    QFile::setPermissions(folder.filePath(u"history/a"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(failures.size() == 1 && failures[0].earlierTextLost);
    QCOMPARE(readTestFile(folder.filePath(u"a.txt"_s)), "fourth");
}

QTEST_GUILESS_MAIN(TestLocalCopies)
#include "tst_localcopies.moc"

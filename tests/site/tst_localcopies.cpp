#include "TestFiles.h"

#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

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
};

void TestLocalCopies::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QTest::newRow("every Windows-1252 byte") << DecodeAnsi(all) << all;
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
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(readTestFile(folder.filePath(u"p.txt"_s)), bytes);
    QList<Paragraph> loaded = Paras(u"p"_s);
    QVERIFY(LoadLocalCopies(loaded, folder.path()).isEmpty());
    QCOMPARE(loaded[0].ParaText, paras[0].ParaText);
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
    QVERIFY(LoadLocalCopies(paras, folder).isEmpty());
    QCOMPARE(paras[0].ParaText, QString());

    paras[0].ParaText = u"typed"_s;
    const QList<LocalCopyFailure> failures = SaveLocalCopies(paras, folder);
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
    const QList<LocalCopyFailure> failures = SaveLocalCopies(paras, folder.path());
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
    QCOMPARE(LoadLocalCopies(paras, folder.path()), QStringList{u"a.txt"_s});
    const QList<LocalCopyFailure> kept = SaveLocalCopies(paras, folder.path());
    QVERIFY(kept.size() == 1 && kept[0].keptOnPurpose);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(readTestFile(path), "precious");

    paras[0].ParaText = u"typed"_s;
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(readTestFile(path), "typed");
}

void TestLocalCopies::pageCharacterReferences()
{
    QCOMPARE(EncodeAnsiForHtml(QStringLiteral("\u00E9\u0141\U0001F600")),
             QByteArray("\xE9&#321;&#128512;"));
    const PageText ansi = DecodePage("<p>caf\xE9</p>");
    QVERIFY(!ansi.utf8);
    QCOMPARE(EncodePage(ansi.text + QStringLiteral("\u0141"), ansi.utf8),
             QByteArray("<p>caf\xE9</p>&#321;"));
    const QByteArray utf8Page("\xEF\xBB\xBF<meta charset=\"utf-8\"><p>caf\xC3\xA9</p>");
    const PageText utf8 = DecodePage(utf8Page);
    QVERIFY(utf8.utf8);
    QCOMPARE(EncodePage(utf8.text, utf8.utf8), utf8Page);
}

QTEST_GUILESS_MAIN(TestLocalCopies)
#include "tst_localcopies.moc"

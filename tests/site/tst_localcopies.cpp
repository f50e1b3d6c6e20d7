#include "site/AnsiText.h"
#include "site/LocalCopies.h"

#include <QFile>
#include <QTemporaryDir>

#include <QTest>
#include <sys/stat.h>

namespace
{

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

Paragraph Para(const QString &name, const QString &text = {})
{
    Paragraph p;
    p.ParaName = name;
    p.ParaText = text;
    return p;
}

} // namespace

class TestLocalCopies : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void readsFilesOfTheWindowsProgram();
    void everyAnsiByteSurvives();
    void savingTrimsAndWritesEveryParagraph();
    void failedWriteKeepsThePreviousFile();
    void unreadableCopyIsNeverOverwrittenByNothing();
    void namesThatAreNoFileNames();
    void fileExists();
    void pageCharacterReferences();
    void pageCharset_data();
    void pageCharset();
};

void TestLocalCopies::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII with line ends") << "a\r\nb\tc" << QByteArray("a\r\nb\tc");
    QTest::newRow("Windows-1252 stays 8-bit") << QStringLiteral("Caf\u00E9 \u20AC5 \u201Cok\u201D")
                                              << QByteArray("Caf\xE9 \x80"
                                                            "5 \x93ok\x94");
    QTest::newRow("outside Windows-1252 becomes marked UTF-8")
        << QStringLiteral("\u0141\u00F3d\u017A \U0001F600")
        << QByteArray("\xEF\xBB\xBF\xC5\x81\xC3\xB3\x64\xC5\xBA \xF0\x9F\x98\x80");
    QTest::newRow("text that looks like the mark")
        << QStringLiteral("\u00EF\u00BB\u00BFx")
        << QByteArray("\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBFx");
    QTest::newRow("text that begins with a zero-width no-break space")
        << QStringLiteral("\uFEFF\u0141") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xC5\x81");
    QTest::newRow("NUL and Ctrl-Z inside")
        << QStringLiteral("a") + QChar(0) + QChar(26) + QStringLiteral("b")
        << QByteArray("a\0\x1A"
                      "b",
                      4);
}

void TestLocalCopies::roundTrip()
{
    QFETCH(QString, text);
    QTemporaryDir folder;
    QList<Paragraph> paras{Para(QStringLiteral("p"), text)};
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());
    QTEST(ReadBytes(LocalCopyPath(folder.path(), QStringLiteral("p"))), "bytes");

    QList<Paragraph> loaded{Para(QStringLiteral("p"))};
    QVERIFY(LoadLocalCopies(loaded, folder.path()).isEmpty());
    QCOMPARE(loaded[0].ParaText, text);
}

void TestLocalCopies::readsFilesOfTheWindowsProgram()
{
    QTemporaryDir folder;
    WriteBytes(folder.filePath(QStringLiteral("Intro.txt")), "Gr\xFC\xDF"
                                                             "e\r\n\x85\r\n");
    QList<Paragraph> paras{Para(QStringLiteral("Intro")), Para(QStringLiteral("Missing"))};
    QVERIFY(LoadLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(paras[0].ParaText, QStringLiteral("Gr\u00FC\u00DFe\r\n\u2026\r\n"));
    QCOMPARE(paras[1].ParaText, QString());
}

void TestLocalCopies::everyAnsiByteSurvives()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(EncodeAnsiForHtml(DecodeAnsi(all)), all);
    QVERIFY(FitsAnsi(DecodeAnsi(all)));
}

void TestLocalCopies::savingTrimsAndWritesEveryParagraph()
{
    QTemporaryDir folder;
    QList<Paragraph> paras{Para(QStringLiteral("a"), QStringLiteral("one\r\n\r\n")),
                           Para(QStringLiteral("empty")),
                           Para(QString(), QStringLiteral("nameless")),
                           Para(QStringLiteral("a"), QStringLiteral("later wins"))};
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(paras[0].ParaText, QStringLiteral("one"));
    QCOMPARE(ReadBytes(folder.filePath(QStringLiteral("a.txt"))), QByteArray("later wins"));
    QCOMPARE(ReadBytes(folder.filePath(QStringLiteral("empty.txt"))), QByteArray());
    QCOMPARE(ReadBytes(folder.filePath(QStringLiteral(".txt"))), QByteArray("nameless"));
    QVERIFY(FileExists(folder.filePath(QStringLiteral(".txt"))));
}

void TestLocalCopies::failedWriteKeepsThePreviousFile()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only folders");
    QTemporaryDir folder;
    WriteBytes(folder.filePath(QStringLiteral("a.txt")), "previous");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
    QList<Paragraph> paras{Para(QStringLiteral("a"), QStringLiteral("new")),
                           Para(QStringLiteral("b"), QStringLiteral("other"))};
    const QList<LocalCopyFailure> failures = SaveLocalCopies(paras, folder.path());
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(failures.size(), 2);
    QCOMPARE(failures[0].fileName, QStringLiteral("a.txt"));
    QCOMPARE(ReadBytes(folder.filePath(QStringLiteral("a.txt"))), QByteArray("previous"));
}

void TestLocalCopies::unreadableCopyIsNeverOverwrittenByNothing()
{
    if (geteuid() == 0)
        QSKIP("root reads unreadable files");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.txt"));
    WriteBytes(path, "precious");
    QFile::setPermissions(path, QFile::WriteOwner);
    QList<Paragraph> paras{Para(QStringLiteral("a"))};
    QCOMPARE(LoadLocalCopies(paras, folder.path()), QStringList{QStringLiteral("a.txt")});
    QVERIFY(paras[0].LocalCopyUnreadable);
    const QList<LocalCopyFailure> kept = SaveLocalCopies(paras, folder.path());
    QCOMPARE(kept.size(), 1);
    QVERIFY(kept[0].keptOnPurpose);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(ReadBytes(path), QByteArray("precious"));

    paras[0].ParaText = QStringLiteral("typed by the user");
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());
    QCOMPARE(ReadBytes(path), QByteArray("typed by the user"));
}

void TestLocalCopies::namesThatAreNoFileNames()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("program")));
    const QString folder = root.filePath(QStringLiteral("program"));
    QList<Paragraph> paras{Para(QStringLiteral("../escape"), QStringLiteral("x")),
                           Para(QStringLiteral("sub\\file"), QStringLiteral("y")),
                           Para(QStringLiteral(".."), QStringLiteral("dots"))};
    const QList<LocalCopyFailure> failures = SaveLocalCopies(paras, folder);
    QCOMPARE(failures.size(), 2);
    QVERIFY(!QFile::exists(root.filePath(QStringLiteral("escape.txt"))));
    QCOMPARE(QDir(root.path()).entryList(QDir::Files), QStringList());
    // ".." + ".txt" is an ordinary name inside the folder.
    QCOMPARE(ReadBytes(folder + QStringLiteral("/...txt")), QByteArray("dots"));
}

void TestLocalCopies::fileExists()
{
    QTemporaryDir folder;
    WriteBytes(folder.filePath(QStringLiteral("f")), "x");
    QVERIFY(FileExists(folder.filePath(QStringLiteral("f"))));
    QVERIFY(!FileExists(folder.path()));
    QVERIFY(!FileExists(folder.filePath(QStringLiteral("missing"))));
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(QStringLiteral("/no/such/drive/") + QChar(0)));

    // Only regular files of a sane size are read; nothing else blocks or grows unbounded.
    const QString fifo = folder.filePath(QStringLiteral("fifo.txt"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder.filePath(QStringLiteral("zero.txt"))));
    QFile huge(folder.filePath(QStringLiteral("huge.txt")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(MaxInputFileBytes + 1));
    huge.close();
    QList<Paragraph> paras{Para(QStringLiteral("fifo")), Para(QStringLiteral("zero")),
                           Para(QStringLiteral("huge"))};
    QCOMPARE(LoadLocalCopies(paras, folder.path()), QStringList{QStringLiteral("huge.txt")});
    QString reason;
    QVERIFY(!ReadWholeFile(fifo, &reason));
    QVERIFY2(reason.contains(u"not a regular file"), qPrintable(reason));
    QVERIFY(huge.resize(MaxInputFileBytes) && ReadWholeFile(huge.fileName()));
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
    QTEST(DecodePage(page).utf8, "utf8");
}

QTEST_GUILESS_MAIN(TestLocalCopies)
#include "tst_localcopies.moc"

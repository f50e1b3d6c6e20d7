#include "TestFiles.h"

#include "site/AnsiText.h"
#include "site/History.h"
#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"
#include "site/WholeFile.h"

static QList<Paragraph> Paras(const QString &name, const QString &text = {})
{
    return {{name, name, text}};
}

class TestLocalCopies : public QObject
{
    Q_OBJECT
private slots:
    void localCopy_data()
    {
        // bytes: of the copy; none for a refused name
        columns<QString, QString, QByteArray>("name", "text", "bytes");
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        row("every Windows-1252 byte", u"p"_s, decodeAnsi(all), all);
        row("looks like the mark", u"p"_s, u"\u00EF\u00BB\u00BFx"_s,
            "\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBFx"_ba);
        row("begins with a zero-width no-break space", u"p"_s, u"\uFEFF\u0141"_s,
            "\xEF\xBB\xBF\xEF\xBB\xBF\xC5\x81"_ba);
        row("backslash", u"..\\bait"_s, u"typed"_s, QByteArray());
        row("the program's trust file", u"VELLUMET-TRUST"_s, u"typed"_s, QByteArray());
        row("NUL", u"bait"_s + QChar(0), u"typed"_s, QByteArray());
        row("longer than a file name may be", QString(300, u'n'), u"typed"_s, QByteArray());
    }
    // Saved reads back (old files as Windows-1252); unsafe names refused, nothing touched outside.
    void localCopy()
    {
        const auto [name, text, bytes] =
            fetch<QString, QString, QByteArray>("name", "text", "bytes");
        QTemporaryDir root;
        const QString folder = root.filePath(u"program"_s);
        QVERIFY(QDir().mkpath(folder) && writeTestFile(root.filePath(u"bait.txt"_s), "outside"));
        QList<Paragraph> saved = Paras(name, text), loaded = Paras(name);
        QCOMPARE(saveLocalCopies(saved, folder).size(), bytes.isEmpty() ? 1 : 0);
        QVERIFY(loadLocalCopies(loaded, folder).isEmpty());
        QCOMPARE(loaded[0].text, bytes.isEmpty() ? QString() : saved[0].text);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 bytes.isEmpty() ? QStringList() : QStringList{name + u".txt"_s});
        QCOMPARE(readTestFile(folder + u'/' + name + u".txt"_s),
                 bytes.isEmpty() ? "<unreadable>" : bytes);
        QCOMPARE(readTestFile(root.filePath(u"bait.txt"_s)), "outside");
    }
    // A failed write keeps the previous file; an unreadable copy is never overwritten by nothing.
    void failedWritesKeepThePreviousFile()
    {
        if (geteuid() == 0)
            QSKIP("root reads and writes anywhere");
        QTemporaryDir folder;
        const QString dir = folder.path(), path = folder.filePath(u"a.txt"_s);
        QVERIFY(writeTestFile(path, "precious"));
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        QList<Paragraph> paras = Paras(u"a"_s, u"new"_s);
        const QList<LocalCopyFailure> failures = saveLocalCopies(paras, dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(failures.size() == 1 && failures[0].fileName == u"a.txt"_s);
        QCOMPARE(readTestFile(path), "precious");
        QFile::setPermissions(path, QFile::WriteOwner);
        paras[0].text.clear();
        QCOMPARE(loadLocalCopies(paras, dir), QStringList{u"a.txt"_s});
        const QList<LocalCopyFailure> kept = saveLocalCopies(paras, dir);
        QVERIFY(kept.size() == 1 && kept[0].keptOnPurpose);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readTestFile(path), "precious");
        paras[0].text = u"typed"_s;
        QVERIFY(saveLocalCopies(paras, dir).isEmpty());
        QCOMPARE(readTestFile(path), "typed");

        // Only regular files of a sane size are read; nothing else blocks or grows unbounded.
        const QString fifo = folder.filePath(u"fifo.txt"_s);
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(u"/dev/zero"_s, folder.filePath(u"zero.txt"_s)));
        const QString huge = folder.filePath(u"huge.txt"_s);
        QVERIFY(writeTestFile(huge, {}) && QFile::resize(huge, MaxFileBytes + 1));
        QList<Paragraph> special = Paras(u"fifo"_s) + Paras(u"zero"_s) + Paras(u"huge"_s);
        QCOMPARE(loadLocalCopies(special, dir),
                 (QStringList{u"fifo.txt"_s, u"zero.txt"_s, u"huge.txt"_s}));
        for (const LocalCopyFailure &kept : saveLocalCopies(special, dir))
            QVERIFY(kept.keptOnPurpose);
        QCOMPARE(QFileInfo(folder.filePath(u"zero.txt"_s)).symLinkTarget(), u"/dev/zero"_s);
        QVERIFY(readWholeFile(fifo).error().contains(u"not a regular file"));
    }

    void pageCharacterReferences()
    {
        QCOMPARE(encodeAnsiForHtml(u"\u00E9\u0141\U0001F600"_s), QByteArray("\xE9&#321;&#128512;"));
        QCOMPARE(encodePage(u"<p>caf\u00E9</p>\u0141"_s, false), "<p>caf\xE9</p>&#321;");
    }
    void pageCharset_data()
    {
        columns<QByteArray, bool>("page", "utf8");
        const QByteArray body = "<p>Prices</p>";
        row("spaces around =", "<meta charset = \"UTF-8\" />" + body, true);
        row("content before http-equiv, charset = 'utf-8'",
            "<meta content=\"text/html;charset = 'utf-8'\" http-equiv=content-type>" + body, true);
        row("utf8, capitals, no quotes", "<META CHARSET=utf8>" + body, true);
        const QByteArray late = "<p>" + QByteArray(1024, 'x') + "</p><meta charset=utf-8>";
        row("meta in the body after 1,024 bytes", late + body, false);
        row("XHTML declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html>" + body, true);
        row("byte-order mark", "\xEF\xBB\xBF" + body, true);
        row("UTF-8 text", "\xEF\xBB\xBF<meta charset=\"utf-8\"><p>caf\xC3\xA9</p>"_ba, true);
        row("Windows-1252 text", "<p>caf\xE9</p>"_ba, false);
        row("content, no http-equiv", "<meta content=\"text/html; charset=utf-8\">" + body, false);
        row("other attribute name", "<meta data-charset=\"utf-8\">" + body, false);
        row("inside a comment", "<!-- <meta charset=utf-8> -->" + body, false);
        row("inside another tag's attribute", "<a title='<meta charset=utf-8>'>" + body, false);
    }
    void pageCharset()
    {
        QFETCH(QByteArray, page);
        const PageText text = decodePage(page);
        QTEST(text.utf8, "utf8");
        QCOMPARE(encodePage(text.text, text.utf8), page); // read and written back unchanged
    }
    // Each different text a save replaces is kept, newest first, at most 100, never twice.
    void earlierTexts()
    {
        QTemporaryDir folder;
        const QString dir = folder.path();
        QList<Paragraph> paras = Paras(u"a"_s);
        for (const QString &text :
             {u"first"_s, u"first\r\n"_s, u"second"_s, u"\u0141"_s, u"third"_s})
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
        QVERIFY(kept.size() == MaxEarlierTexts && kept.last().text == u"4"_s);
        QCOMPARE(kept.first().fileName, u"2026-12-06 15-41-03 (2).txt"_s);
        QCOMPARE(kept.first().replaced, second.addSecs(51));

        // Never through a link, nor out of the history folder.
        QVERIFY(QFile::link(dir, folder.filePath(u"history/c"_s)));
        QVERIFY(!keepEarlierText(dir, u"c"_s, u"x"_s) && !hasEarlierTexts(dir, u"c"_s) &&
                !keepEarlierText(dir, u".."_s, u"x"_s) && hasEarlierTexts(dir, u"a"_s));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{u"a.txt"_s});

        // A full or read-only history holds no save back.
        if (geteuid() == 0)
            return;
        const QString history = folder.filePath(u"history/a"_s);
        QFile::setPermissions(history, QFile::ReadOwner | QFile::ExeOwner);
        paras[0].text = u"fourth"_s;
        const QList<LocalCopyFailure> failures = saveLocalCopies(paras, dir);
        QFile::setPermissions(history, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(failures.size() == 1 && failures[0].earlierTextLost);
        QCOMPARE(readTestFile(folder.filePath(u"a.txt"_s)), "fourth");
    }
    void parse_data()
    {
        // value: pages, paragraphs, password, delimiters, connections
        columns<QByteArray, QString>("file", "value");
        row("lines without key; equals in value", "x\r\n=v\r\nPASSWORD = a=b"_ba, "||a=b|@{ }@|8");
        row("only ASCII letters fold", "PA\xDFWORD=pw"_ba, "|||@{ }@|8");
        row("later delimiter; reversed, brackets turned", "DELIMITER=[[\r\nDELIMITER=<({[x)"_ba,
            "|||<({[x) )x]})>|8");
        row("page of one name takes the site directory, set later",
            "PAGE=a\r\nPAGE=b,c,sub\r\nDIRECTORY=home"_ba, "a,a,home;b,c,sub|||@{ }@|8");
        row("description after the first comma, untrimmed",
            "PARAGRAPH=b , B_x, y\r\nparagraph=a,\r\nPARAGRAPH=a_b"_ba,
            "|b , B_x, y;a,;a_b,a b||@{ }@|8");
        row("connections", "CONNECTIONS = 16"_ba, "|||@{ }@|16");
        row("connections out of range", "CONNECTIONS=17\r\nCONNECTIONS=0"_ba, "|||@{ }@|8");
        row("connections not a number", "CONNECTIONS=1\r\nCONNECTIONS=two"_ba, "|||@{ }@|8");
    }
    void parse()
    {
        QFETCH(QByteArray, file);
        const SiteDefinition site = parseSiteDefinition(file);
        QStringList pages, paragraphs;
        for (const Page &p : site.pages)
            pages << p.source + u',' + p.target + u',' + p.directory;
        for (const Paragraph &p : site.paragraphs)
            paragraphs << p.name + u',' + p.description;
        const SiteSettings &s = site.settings;
        QTEST(QStringList({pages.join(u';'), paragraphs.join(u';'), s.password,
                           s.delimiter + u' ' + s.endDelimiter, QString::number(s.connections)})
                  .join(u'|'),
              "value");
    }
    void emptyFileIsNotMissingAndTrailingBreaks()
    {
        QTemporaryDir folder;
        QVERIFY(!readSiteDefinitionFile(folder.path()) &&
                writeTestFile(folder.filePath(u"vellumet.ini"_s), {}));
        QCOMPARE(readSiteDefinitionFile(folder.path()).value(), QByteArray());
        QCOMPARE(vellumet::trimTrailingBreaks(u"a\r\n\x1a"_s), u"a");
        QCOMPARE(vellumet::trimTrailingBreaks(QString(QChar(0))), QString());
    }
};

QTEST_GUILESS_MAIN(TestLocalCopies)
#include "tst_localcopies.moc"

#include "publish/WebText.h"
#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include "LargeText.h"

#include <QTemporaryDir>
#include <QTest>

// Large site definitions, many paragraphs and long texts. Each case is large enough that work
// growing with the square of its size would run for hours and hit the test's time-out, while work
// in proportion to it takes a second or two. No timing is asserted: finishing at all is the proof.

namespace
{

constexpr qsizetype FiftyMegabytes = 50 * 1024 * 1024;

QString Field(const SiteDefinition &site, const QString &name)
{
    if (name == u"Server")
        return site.Settings.Server;
    if (name == u"Directory")
        return site.Settings.Directory;
    if (name == u"PageDirectory")
        return site.Pages.value(0).PageDirectory;
    if (name == u"ParaDescription")
        return site.Paragraphs.value(0).ParaDescription;
    return QStringLiteral("pages %1, paragraphs %2")
        .arg(site.Pages.size())
        .arg(site.Paragraphs.size());
}

} // namespace

class TestLargeInput : public QObject
{
    Q_OBJECT
private slots:
    void siteDefinitionLine_data();
    void siteDefinitionLine();
    void tenThousandParagraphs();
    void longTexts();
};

// One line of 50 MB: prefix, then the fill character, then the suffix.
void TestLargeInput::siteDefinitionLine_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<char>("fill");
    QTest::addColumn<QByteArray>("suffix");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<QString>("ending");

    QTest::newRow("value") << QByteArray("SERVER=") << 'x' << QByteArray("!") << "Server"
                           << FiftyMegabytes + 1 << "x!";
    QTest::newRow("spaces around a key")
        << QByteArray() << ' ' << QByteArray("server= v") << "Server" << qsizetype(1) << "v";
    QTest::newRow("spaces after a value")
        << QByteArray("SERVER=v") << ' ' << QByteArray() << "Server" << qsizetype(1) << "v";
    QTest::newRow("no equals sign") << QByteArray() << 'x' << QByteArray() << "counts"
                                    << qsizetype(21) << "pages 0, paragraphs 0";
    QTest::newRow("key of 50 MB") << QByteArray() << 'k' << QByteArray("=v") << "counts"
                                  << qsizetype(21) << "pages 0, paragraphs 0";
    QTest::newRow("lone line feeds") << QByteArray("SERVER=a") << '\n'
                                     << QByteArray("b") << "Server" << FiftyMegabytes + 2 << "\nb";
    QTest::newRow("page of commas") << QByteArray("PAGE=") << ',' << QByteArray("\\")
                                    << "PageDirectory" << FiftyMegabytes - 2 << ",,";
    QTest::newRow("directory of backslashes") << QByteArray("DIRECTORY=") << '\\' << QByteArray()
                                              << "Directory" << FiftyMegabytes - 1 << "//";
    QTest::newRow("paragraph of underscores") << QByteArray("PARAGRAPH=") << '_' << QByteArray()
                                              << "ParaDescription" << FiftyMegabytes << "  ";
    // Fifty million empty lines.
    QTest::newRow("lone carriage returns")
        << QByteArray() << '\r' << QByteArray("SERVER=v") << "Server" << qsizetype(1) << "v";
}

void TestLargeInput::siteDefinitionLine()
{
    QFETCH(QByteArray, prefix);
    QFETCH(char, fill);
    QFETCH(QByteArray, suffix);
    QFETCH(QString, field);
    QFETCH(QString, ending);

    QByteArray file = prefix;
    file.append(FiftyMegabytes, fill).append(suffix);
    const QString value = Field(ParseSiteDefinition(file), field);
    QTEST(value.size(), "size");
    QVERIFY(value.endsWith(ending));
}

void TestLargeInput::tenThousandParagraphs()
{
    constexpr int count = 10'000;
    QByteArray file("DELIMITER=[[\r\n");
    QString page;
    QString expected;
    for (int n = 1; n <= count; ++n) {
        file +=
            "PARAGRAPH=p" + QByteArray::number(n) + ",Paragraph " + QByteArray::number(n) + "\r\n";
        page += QStringLiteral("<p>[[p%1]]</p>").arg(n);
        expected += QStringLiteral("<p>text %1 &amp;<br>more</p>").arg(n);
    }
    const SiteDefinition site = ParseSiteDefinition(file);
    QCOMPARE(site.Paragraphs.size(), count);
    QCOMPARE(site.Paragraphs.back().ParaDescription, QStringLiteral("Paragraph 10000"));

    QList<Paragraph> paras = site.Paragraphs;
    for (int n = 1; n <= count; ++n)
        paras[n - 1].ParaText = QStringLiteral("text %1 &\r\nmore\r\n").arg(n);
    QTemporaryDir folder;
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());

    QList<Paragraph> loaded = site.Paragraphs;
    QVERIFY(LoadLocalCopies(loaded, folder.path()).isEmpty());
    QCOMPARE(loaded.back().ParaText, QStringLiteral("text 10000 &\r\nmore"));
    QCOMPARE(SpliceParagraphs(page, site.Settings.Delimiter, site.Settings.EndDelimiter, loaded),
             expected);
}

void TestLargeInput::longTexts()
{
    constexpr qsizetype pairs = 10'000'000;
    const QString breaks = Repeated(QStringLiteral("\r\n"), pairs);
    QCOMPARE(TrimTrailingBreaks(QStringLiteral("a") + breaks + QChar(26)), QStringLiteral("a"));
    QCOMPARE(TrimTrailingBreaks(breaks), QString());
    const QString marks(pairs, QChar(26));
    QCOMPARE(TrimTrailingBreaks(marks).size(), pairs - 1);

    const QString typed = Repeated(QStringLiteral("a&\"<>\r\n\r"), pairs / 4);
    const QString html = EncodeWebText(typed);
    QCOMPARE(html, Repeated(QStringLiteral("a&amp;&quot;&lt;&gt;<br>\r"), pairs / 4));

    QTemporaryDir folder;
    QList<Paragraph> paras =
        Paragraphs({QStringLiteral("long")}, {typed + QStringLiteral("\u0141")});
    QVERIFY(SaveLocalCopies(paras, folder.path()).isEmpty());
    QList<Paragraph> loaded = Paragraphs({QStringLiteral("long")}, {});
    QVERIFY(LoadLocalCopies(loaded, folder.path()).isEmpty());
    QCOMPARE(loaded[0].ParaText, paras[0].ParaText);
}

QTEST_GUILESS_MAIN(TestLargeInput)
#include "tst_largeinput.moc"

#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

// One field of a parsed site as one line of text: pages as "source|target|directory",
// paragraphs as "name|description", several joined by ";".
QString Field(const SiteDefinition &site, const QString &field)
{
    QStringList rows;
    for (const Page &p : site.Pages)
        rows << p.PageSource + u'|' + p.PageTarget + u'|' + p.PageDirectory;
    if (field == u"paragraphs") {
        rows.clear();
        for (const Paragraph &p : site.Paragraphs)
            rows << p.ParaName + u'|' + p.ParaDescription;
    }
    const SiteSettings &s = site.Settings;
    return field == u"server"       ? s.Server
           : field == u"password"   ? s.Password
           : field == u"directory"  ? s.Directory
           : field == u"delimiters" ? s.Delimiter + u' ' + s.EndDelimiter
           : field == u"caption"    ? CaptionFor(s.Title)
                                    : rows.join(u';');
}

} // namespace

class TestSiteDefinition : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void emptyFileIsNotMissing();
    void fitListWidth_data();
    void fitListWidth();
    void trimTrailingBreaks_data();
    void trimTrailingBreaks();
};

void TestSiteDefinition::parse_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    QTest::newRow("defaults") << QByteArray() << u"delimiters"_s << u"@{ }@"_s;
    QTest::newRow("key case and spaces; tab kept")
        << "  sErVeR  = \tftp  \r\n"_ba << u"server"_s << u"\tftp"_s;
    QTest::newRow("tab before equals spoils the key") << "SERVER\t= ftp"_ba << u"server"_s << u""_s;
    QTest::newRow("lines without a key; equals in value")
        << "x\r\n=v\r\nPASSWORD = a=b"_ba << u"password"_s << u"a=b"_s;
    QTest::newRow("lone CR ends a line, last wins")
        << "SERVER=one\rSERVER=two"_ba << u"server"_s << u"two"_s;
    QTest::newRow("lone LF does not end a line")
        << "SERVER=a\nPASSWORD=b\n"_ba << u"server"_s << u"a\nPASSWORD=b\n"_s;
    QTest::newRow("byte-order mark spoils the first key")
        << "\xEF\xBB\xBFSERVER=a"_ba << u"server"_s << u""_s;
    QTest::newRow("only ASCII letters fold") << "PA\xDFWORD=pw"_ba << u"password"_s << u""_s;
    QTest::newRow("Windows-1252") << "SERVER=caf\xE9 \x80"_ba << u"server"_s
                                  << QStringLiteral("caf\u00E9 \u20AC");
    QTest::newRow("empty delimiter") << "DELIMITER="_ba << u"delimiters"_s << u" "_s;
    QTest::newRow("later delimiter; reversed, brackets turned")
        << "DELIMITER=[[\r\nDELIMITER=<({[x)"_ba << u"delimiters"_s << u"<({[x) )x]})>"_s;
    QTest::newRow("directory normalised") << "DIRECTORY=\\www\\"_ba << u"directory"_s << u"/www"_s;
    QTest::newRow("one trailing slash goes") << "DIRECTORY=//"_ba << u"directory"_s << u"/"_s;
    QTest::newRow("page of one name takes the site directory, set later")
        << "PAGE=a\r\nPAGE=b,c,sub\r\nDIRECTORY=home"_ba << u"pages"_s << u"a|a|home;b|c|sub"_s;
    QTest::newRow("spaces next to commas stay") << "PAGE = a , b "_ba << u"pages"_s << u"a | b|"_s;
    QTest::newRow("later commas belong to the directory")
        << "PAGE=a,,\\c,d\\"_ba << u"pages"_s << u"a||/c,d"_s;
    QTest::newRow("page directory / is the site's")
        << "PAGE=a,b,/\r\nDIRECTORY=/s"_ba << u"pages"_s << u"a|b|/s"_s;
    QTest::newRow("positions beyond 16 bits")
        << QByteArray(40000, ' ') + "PAGE=" + QByteArray(33000, 'a') + ",b" << u"pages"_s
        << QString(33000, u'a') + "|b|";
    QTest::newRow("underscores become spaces without a description")
        << "PARAGRAPH=a_b"_ba << u"paragraphs"_s << u"a_b|a b"_s;
    QTest::newRow("description after the first comma, untrimmed")
        << "PARAGRAPH=b , B_x, y\r\nparagraph=a,"_ba << u"paragraphs"_s << u"b | B_x, y;a|"_s;
    QTest::newRow("caption") << "TITLE=Corner Bakery"_ba << u"caption"_s
                             << u"Vellumet - Corner Bakery"_s;
    QTest::newRow("no title keeps the design caption") << QByteArray() << u"caption"_s << u""_s;
}

void TestSiteDefinition::parse()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, field);
    QTEST(Field(ParseSiteDefinition(file), field), "value");
}

void TestSiteDefinition::emptyFileIsNotMissing()
{
    QTemporaryDir folder;
    QVERIFY(!ReadSiteDefinitionFile(folder.path()));
    QVERIFY(QFile(folder.filePath(QStringLiteral("vellumet.ini"))).open(QIODevice::WriteOnly));
    QCOMPARE(ReadSiteDefinitionFile(folder.path()).value(), QByteArray());
}

void TestSiteDefinition::fitListWidth_data()
{
    QTest::addColumn<QList<double>>("measured");
    QTest::addColumn<double>("innerWidth");
    QTest::addColumn<int>("listWidth");
    QTest::addColumn<double>("newEditorLeft"); // -1: the list stays as designed

    // The list is designed 2415 twips wide at a left edge of 120.
    QTest::newRow("no paragraphs") << QList<double>{} << 5190.0 << 360 << -1.0;
    QTest::newRow("short descriptions") << QList<double>{600, 2055} << 5190.0 << 2415 << -1.0;
    QTest::newRow("long description widens")
        << QList<double>{600, 3000} << 8000.0 << 3360 << 3600.0;
    QTest::newRow("widths rounded half to even")
        << QList<double>{2500.5} << 9000.0 << 2860 << 3100.0;
    QTest::newRow("limit rounded half to even") << QList<double>{9000} << 8001.0 << 3820 << 4060.0;
    QTest::newRow("limit equal to the design") << QList<double>{5000} << 5190.0 << 2415 << -1.0;
}

void TestSiteDefinition::fitListWidth()
{
    QFETCH(QList<double>, measured);
    QFETCH(double, innerWidth);
    int listWidth = 0;
    for (double width : measured)
        listWidth = WidenListWidth(listWidth, width);
    const ListFit fit = FitListWidth(listWidth, 2415, 120, innerWidth);
    QTEST(fit.ListWidth, "listWidth");
    QCOMPARE(fit.NewListWidth.value_or(-1), fit.NewEditorLeft ? fit.ListWidth : -1);
    QTEST(fit.NewEditorLeft.value_or(-1), "newEditorLeft");
}

void TestSiteDefinition::trimTrailingBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    const QString z(QChar(26));
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("every line end") << u"a\r\n\r\n"_s << u"a"_s;
    QTest::newRow("line end, then Ctrl-Z") << u"a\r\n"_s + z << u"a"_s;
    QTest::newRow("only one Ctrl-Z") << u"a"_s + z + z << u"a"_s + z;
    QTest::newRow("Ctrl-Z before a line end") << u"a"_s + z + "\r\n" << u"a"_s + z;
    QTest::newRow("lone CR and LF stay") << u"\r\na\n\r"_s << u"\r\na\n\r"_s;
    QTest::newRow("NUL alone") << QString(QChar(0)) << u""_s;
}

void TestSiteDefinition::trimTrailingBreaks()
{
    QFETCH(QString, text);
    QTEST(TrimTrailingBreaks(text), "trimmed");
}

QTEST_GUILESS_MAIN(TestSiteDefinition)
#include "tst_sitedefinition.moc"

#include "TestFiles.h"

#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <QTemporaryDir>

using namespace vellumet;

using namespace Qt::StringLiterals;

namespace
{

// One field of a parsed site as one line of text: pages as "source|target|directory",
// paragraphs as "name|description", several joined by ";".
QString Field(const SiteDefinition &site, const QString &field)
{
    QStringList rows;
    for (const Page &p : site.pages)
        rows << p.source + u'|' + p.target + u'|' + p.directory;
    if (field == u"paragraphs") {
        rows.clear();
        for (const Paragraph &p : site.paragraphs)
            rows << p.name + u'|' + p.description;
    }
    const SiteSettings &s = site.settings;
    return field == u"server"        ? s.server
           : field == u"password"    ? s.password
           : field == u"directory"   ? s.directory
           : field == u"delimiters"  ? s.delimiter + u' ' + s.endDelimiter
           : field == u"title"       ? s.title
           : field == u"connections" ? QString::number(s.connections)
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
    void trimTrailingBreaks_data();
    void trimTrailingBreaks();
};

void TestSiteDefinition::parse_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    row("defaults", ""_ba, "delimiters", "@{ }@");
    row("key case and spaces; tab kept", "  sErVeR  = \tftp  \r\n"_ba, "server", "\tftp");
    row("tab before equals spoils the key", "SERVER\t= ftp"_ba, "server", "");
    row("lines without a key; equals in value", "x\r\n=v\r\nPASSWORD = a=b"_ba, "password", "a=b");
    row("lone CR ends a line, last wins", "SERVER=one\rSERVER=two"_ba, "server", "two");
    row("lone LF does not end a line", "SERVER=a\nPASSWORD=b\n"_ba, "server", "a\nPASSWORD=b\n");
    row("byte-order mark spoils the first key", "\xEF\xBB\xBFSERVER=a"_ba, "server", "");
    row("only ASCII letters fold", "PA\xDFWORD=pw"_ba, "password", "");
    row("Windows-1252", "SERVER=caf\xE9 \x80"_ba, "server", "caf\u00E9 \u20AC");
    row("empty delimiter", "DELIMITER="_ba, "delimiters", " ");
    row("later delimiter; reversed, brackets turned", "DELIMITER=[[\r\nDELIMITER=<({[x)"_ba,
        "delimiters", "<({[x) )x]})>");
    row("directory normalised", "DIRECTORY=\\www\\"_ba, "directory", "/www");
    row("one trailing slash goes", "DIRECTORY=//"_ba, "directory", "/");
    row("page of one name takes the site directory, set later",
        "PAGE=a\r\nPAGE=b,c,sub\r\nDIRECTORY=home"_ba, "pages", "a|a|home;b|c|sub");
    row("spaces next to commas stay", "PAGE = a , b "_ba, "pages", "a | b|");
    row("later commas belong to the directory", "PAGE=a,,\\c,d\\"_ba, "pages", "a||/c,d");
    row("page directory / is the site's", "PAGE=a,b,/\r\nDIRECTORY=/s"_ba, "pages", "a|b|/s");
    row("positions beyond 16 bits",
        QByteArray(40000, ' ') + "PAGE=" + QByteArray(33000, 'a') + ",b", "pages",
        QString(33000, u'a') + "|b|");
    row("underscores become spaces without a description", "PARAGRAPH=a_b"_ba, "paragraphs",
        "a_b|a b");
    row("description after the first comma, untrimmed", "PARAGRAPH=b , B_x, y\r\nparagraph=a,"_ba,
        "paragraphs", "b | B_x, y;a|");
    row("title", "TITLE=Corner Bakery"_ba, "title", "Corner Bakery");
    row("connections", "CONNECTIONS = 16"_ba, "connections", "16");
    row("connections by default", ""_ba, "connections", "8");
    row("connections out of range", "CONNECTIONS=17\r\nCONNECTIONS=0"_ba, "connections", "8");
    row("connections not a number", "CONNECTIONS=1\r\nCONNECTIONS=two"_ba, "connections", "8");
}

void TestSiteDefinition::parse()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, field);
    QTEST(Field(parseSiteDefinition(file), field), "value");
}

void TestSiteDefinition::emptyFileIsNotMissing()
{
    QTemporaryDir folder;
    QVERIFY(!readSiteDefinitionFile(folder.path()));
    QVERIFY(QFile(folder.filePath(QStringLiteral("vellumet.ini"))).open(QIODevice::WriteOnly));
    QCOMPARE(readSiteDefinitionFile(folder.path()).value(), QByteArray());
}

void TestSiteDefinition::trimTrailingBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    const QString z(QChar(26));
    row("empty", "", "");
    row("every line end", "a\r\n\r\n", "a");
    row("line end, then Ctrl-Z", "a\r\n" + z, "a");
    row("only one Ctrl-Z", "a" + z + z, "a" + z);
    row("Ctrl-Z before a line end", "a" + z + "\r\n", "a" + z);
    row("lone CR and LF stay", "\r\na\n\r", "\r\na\n\r");
    row("NUL alone", QString(QChar(0)), "");
}

void TestSiteDefinition::trimTrailingBreaks()
{
    QFETCH(QString, text);
    QTEST(vellumet::trimTrailingBreaks(text), "trimmed");
}

QTEST_GUILESS_MAIN(TestSiteDefinition)
#include "tst_sitedefinition.moc"

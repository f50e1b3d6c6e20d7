#include "site/SiteDefinition.h"

#include <QTemporaryDir>
#include <QTest>

namespace
{

// Pages as "source|target|directory" and paragraphs as "name|description", so a table
// row states a whole catalogue on one line.
QStringList PageRows(const SiteDefinition &site)
{
    QStringList rows;
    for (const Page &p : site.Pages)
        rows << p.PageSource + u'|' + p.PageTarget + u'|' + p.PageDirectory;
    return rows;
}

QStringList ParagraphRows(const SiteDefinition &site)
{
    QStringList rows;
    for (const Paragraph &p : site.Paragraphs)
        rows << p.ParaName + u'|' + p.ParaDescription;
    return rows;
}

} // namespace

class TestSiteDefinition : public QObject
{
    Q_OBJECT
private slots:
    void settings_data();
    void settings();
    void pages_data();
    void pages();
    void paragraphs_data();
    void paragraphs();
    void endDelimiter_data();
    void endDelimiter();
    void directory_data();
    void directory();
    void emptyFileIsNotMissing();
    void caption();
};

void TestSiteDefinition::settings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("endDelimiter");

    QTest::newRow("empty file") << QByteArray() << ""
                                << ""
                                << "@{"
                                << "}@";
    QTest::newRow("ignored lines only")
        << QByteArray("no equals here\r\n=value\r\nCOLOUR=red\r\n") << ""
        << ""
        << "@{"
        << "}@";
    QTest::newRow("key case and spaces")
        << QByteArray("  sErVeR  =  ftp.example.com  \r\n") << "ftp.example.com"
        << ""
        << "@{"
        << "}@";
    QTest::newRow("tab before equals ignored") << QByteArray("SERVER\t= ftp.example.com\r\n") << ""
                                               << ""
                                               << "@{"
                                               << "}@";
    QTest::newRow("tab kept in value") << QByteArray("SERVER=\tftp \r\n") << "\tftp"
                                       << ""
                                       << "@{"
                                       << "}@";
    QTest::newRow("equals inside value") << QByteArray("PASSWORD = a=b==c\r\n") << ""
                                         << "a=b==c"
                                         << "@{"
                                         << "}@";
    QTest::newRow("last line wins, lone CR ends a line")
        << QByteArray("SERVER=one\rSERVER=two") << "two"
        << ""
        << "@{"
        << "}@";
    QTest::newRow("LF alone does not end a line")
        << QByteArray("SERVER=one\nPASSWORD=secret\n") << "one\nPASSWORD=secret\n"
        << ""
        << "@{"
        << "}@";
    QTest::newRow("UTF-8 byte-order mark spoils the first key")
        << QByteArray("\xEF\xBB\xBFSERVER=one\r\nPASSWORD=pw\r\n") << ""
        << "pw"
        << "@{"
        << "}@";
    // Upper-casing "ß" gives "SS"; the key is still not PASSWORD.
    QTest::newRow("only ASCII letters fold") << QByteArray("PA\xDFWORD=pw\r\nserv\xC9r=x\r\n") << ""
                                             << ""
                                             << "@{"
                                             << "}@";
    QTest::newRow("empty delimiter") << QByteArray("DELIMITER=\r\n") << ""
                                     << ""
                                     << ""
                                     << "";
    QTest::newRow("later delimiter counts") << QByteArray("DELIMITER=[[\r\nDELIMITER={%\r\n") << ""
                                            << ""
                                            << "{%"
                                            << "%}";
    QTest::newRow("Windows-1252 bytes")
        << QByteArray("SERVER=caf\xE9 \x80\r\n") << QStringLiteral("caf\u00E9 \u20AC") << ""
        << "@{"
        << "}@";
    QTest::newRow("equals far beyond 32767 characters")
        << QByteArray(40000, ' ') + "SERVER=" + QByteArray(40000, 'x') << QString(40000, u'x') << ""
        << "@{"
        << "}@";
}

void TestSiteDefinition::settings()
{
    QFETCH(QByteArray, file);
    const SiteDefinition site = ParseSiteDefinition(file);
    QTEST(site.Settings.Server, "server");
    QTEST(site.Settings.Password, "password");
    QTEST(site.Settings.Delimiter, "delimiter");
    QTEST(site.Settings.EndDelimiter, "endDelimiter");
}

void TestSiteDefinition::pages_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("pages");

    QTest::newRow("one name takes the site directory")
        << QByteArray("DIRECTORY=/www\r\nPAGE=index.htm")
        << QStringList{"index.htm|index.htm|/www"};
    QTest::newRow("source and target")
        << QByteArray("PAGE=index.tpl,index.htm") << QStringList{"index.tpl|index.htm|"};
    QTest::newRow("own directory normalised")
        << QByteArray("DIRECTORY=/www\r\nPAGE=news.tpl,news.htm,\\pub\\news\\")
        << QStringList{"news.tpl|news.htm|/pub/news"};
    QTest::newRow("spaces next to commas stay")
        << QByteArray("PAGE = a.tpl , b.htm\r\n") << QStringList{"a.tpl | b.htm|"};
    QTest::newRow("two commas in a row")
        << QByteArray("PAGE=a.tpl,,dir") << QStringList{"a.tpl||dir"};
    QTest::newRow("later commas belong to the directory")
        << QByteArray("PAGE=a,b,c,d") << QStringList{"a|b|c,d"};
    QTest::newRow("directory / becomes the site directory")
        << QByteArray("PAGE=a,b,/\r\nDIRECTORY=\\site\\") << QStringList{"a|b|/site"};
    QTest::newRow("directory line after the pages")
        << QByteArray("PAGE=a\r\nPAGE=b,c,sub\r\nDIRECTORY=home")
        << QStringList{"a|a|home", "b|c|sub"};
    QTest::newRow("comma far beyond 32767 characters")
        << QByteArray("PAGE=") + QByteArray(33000, 'a') + ",b"
        << QStringList{QString(33000, u'a') + QStringLiteral("|b|")};
}

void TestSiteDefinition::pages()
{
    QFETCH(QByteArray, file);
    QTEST(PageRows(ParseSiteDefinition(file)), "pages");
}

void TestSiteDefinition::paragraphs_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("paragraphs");

    QTest::newRow("underscores become spaces without a description")
        << QByteArray("PARAGRAPH=opening_hours") << QStringList{"opening_hours|opening hours"};
    QTest::newRow("description after the first comma")
        << QByteArray("PARAGRAPH=hours,Opening_hours, weekdays")
        << QStringList{"hours|Opening_hours, weekdays"};
    QTest::newRow("fields not trimmed, file order kept")
        << QByteArray("PARAGRAPH=b , Bee\r\nparagraph=a,") << QStringList{"b | Bee", "a|"};
    QTest::newRow("empty value") << QByteArray("PARAGRAPH=") << QStringList{"|"};
}

void TestSiteDefinition::paragraphs()
{
    QFETCH(QByteArray, file);
    QTEST(ParagraphRows(ParseSiteDefinition(file)), "paragraphs");
}

void TestSiteDefinition::endDelimiter_data()
{
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("end");
    QTest::newRow("default") << "@{"
                             << "}@";
    QTest::newRow("square") << "[["
                            << "]]";
    QTest::newRow("brace percent") << "{%"
                                   << "%}";
    QTest::newRow("angle percent") << "<%"
                                   << "%>";
    QTest::newRow("angle paren") << "<("
                                 << ")>";
    QTest::newRow("closing bracket stays") << "x)"
                                           << ")x";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSiteDefinition::endDelimiter()
{
    QFETCH(QString, delimiter);
    QTEST(DeriveEndDelimiter(delimiter), "end");
}

void TestSiteDefinition::directory_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("normalised");
    QTest::newRow("backslashes") << "\\www\\site\\"
                                 << "/www/site";
    QTest::newRow("double slash keeps one") << "//"
                                            << "/";
    QTest::newRow("root becomes empty") << "/"
                                        << "";
    QTest::newRow("relative") << "public"
                              << "public";
}

void TestSiteDefinition::directory()
{
    QFETCH(QString, value);
    QTEST(NormaliseDirectory(value), "normalised");
    const SiteDefinition site = ParseSiteDefinition("DIRECTORY=" + value.toLatin1());
    QTEST(site.Settings.Directory, "normalised");
}

void TestSiteDefinition::emptyFileIsNotMissing()
{
    QTemporaryDir folder;
    QVERIFY(!ReadSiteDefinitionFile(folder.path()).has_value());
    QFile file(folder.filePath(QStringLiteral("vellumet.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const auto bytes = ReadSiteDefinitionFile(folder.path());
    QVERIFY(bytes.has_value());
    QVERIFY(bytes->isEmpty());
}

void TestSiteDefinition::caption()
{
    QCOMPARE(CaptionFor(QStringLiteral("Corner Bakery")),
             QStringLiteral("Vellumet - Corner Bakery"));
    QVERIFY(CaptionFor(QString()).isEmpty());
}

QTEST_GUILESS_MAIN(TestSiteDefinition)
#include "tst_sitedefinition.moc"

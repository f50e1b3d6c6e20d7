#include "TestFiles.h"

#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <QTemporaryDir>

using namespace vellumet;

using namespace Qt::StringLiterals;

class TestSiteDefinition : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("value"); // pages, paragraphs, password and delimiters
        row("lines without a key; equals in value", "x\r\n=v\r\nPASSWORD = a=b"_ba, "||a=b|@{ }@");
        row("only ASCII letters fold", "PA\xDFWORD=pw"_ba, "|||@{ }@");
        row("later delimiter; reversed, brackets turned", "DELIMITER=[[\r\nDELIMITER=<({[x)"_ba,
            "|||<({[x) )x]})>");
        row("page of one name takes the site directory, set later",
            "PAGE=a\r\nPAGE=b,c,sub\r\nDIRECTORY=home"_ba, "a,a,home;b,c,sub|||@{ }@");
        row("description after the first comma, untrimmed",
            "PARAGRAPH=b , B_x, y\r\nparagraph=a,\r\nPARAGRAPH=a_b"_ba,
            "|b , B_x, y;a,;a_b,a b||@{ }@");
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
                           s.delimiter + u' ' + s.endDelimiter})
                  .join(u'|'),
              "value");
    }
    void emptyFileIsNotMissing()
    {
        QTemporaryDir folder;
        QVERIFY(!readSiteDefinitionFile(folder.path()));
        QVERIFY(writeTestFile(folder.filePath(u"vellumet.ini"_s), {}));
        QCOMPARE(readSiteDefinitionFile(folder.path()).value(), QByteArray());
    }
    void trimTrailingBreaks()
    {
        QCOMPARE(vellumet::trimTrailingBreaks(u"a\r\n\x1a"_s), u"a");
        QCOMPARE(vellumet::trimTrailingBreaks(QString(QChar(0))), QString());
    }
};

QTEST_GUILESS_MAIN(TestSiteDefinition)
#include "tst_sitedefinition.moc"

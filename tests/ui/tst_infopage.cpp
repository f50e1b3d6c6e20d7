#include "site/SiteDefinition.h"
#include "ui/InfoPage.h"

#include <QTest>

using namespace vellumet;

class TestInfoPage : public QObject
{
    Q_OBJECT
private slots:
    void text_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>(
            "body"); // between the usage notes and the program; "|" ends a line
        const QByteArray site = "SERVER=ftp.example.com\rLOGIN=client\rPASSWORD=secret\r"
                                "DIRECTORY=\\www\\site\\\rTITLE=Example Bakery\rPAGE=index.htm\r"
                                "PAGE=news.tpl,news.htm,\\pub\\news\\\rPARAGRAPH=opening_hours\r"
                                "PARAGRAPH=offer,Special offer, this week\r";
        const QString lines =
            " |SERVER|Website:   Example Bakery|Server:    ftp.example.com|"
            "Login ID:  client|Directory: /www/site| |PAGES|"
            "index.htm - index.htm - /www/site|news.tpl - news.htm - /pub/news| |"
            "PARAGRAPHS|opening_hours - opening hours|offer - Special offer, this week";
        QTest::newRow("full") << site + "DEVELOPER=Jo\rEMAIL=jo@example.com\rPHONE=01234"
                              << " |WEBSITE DEVELOPER|Contact:   Jo|Phone:     01234|"
                                 "Email:     jo@example.com|" +
                                     lines;
        QTest::newRow("no developer") << site << lines;
        QTest::newRow("only a phone") << site + "PHONE=01234"
                                      << " |WEBSITE DEVELOPER|Phone:     01234|" + lines;
        QTest::newRow("live address")
            << QByteArray("WEBSITE= https://www.example.com/ \rTITLE=T")
            << QString(" |SERVER|Website:   T|Address:   https://www.example.com/|"
                       "Server:    |Login ID:  |Directory: | |PAGES| |PARAGRAPHS");
        QTest::newRow("empty title, no pages, no paragraphs")
            << QByteArray("TITLE=")
            << " |SERVER|Website:   |Server:    |Login ID:  |Directory: | |PAGES| |PARAGRAPHS";
        QTest::newRow("pages without directory") << QByteArray("PAGE=index.htm\rPAGE=a.tpl,a.htm")
                                                 << " |SERVER|Website:   |Server:    |Login ID:  "
                                                    "|Directory: | |PAGES|index.htm - index.htm|"
                                                    "a.tpl - a.htm| |PARAGRAPHS";
        QTest::newRow("1,001 characters shown as 1,000")
            << "PAGE=" + QByteArray(1001, 'p')
            << " |SERVER|Website:   |Server:    |Login ID:  |Directory: | |PAGES|" +
                   QString(1000, u'p') + "... - " + QString(1000, u'p') + "...| |PARAGRAPHS";
    }
    void text()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, body);
        const SiteDefinition site = parseSiteDefinition(ini);
        const QString page = infoPageText(
            site.settings, site.pages, site.paragraphs,
            {"9.8.7", "(C) Test", "help@example.org", "https://example.org/", "Thanks."});
        QString expected = "VELLUMET INFORMATION|This program has been supplied to you by your "
                           "website developer to enable you to update certain parts of your "
                           "website yourself. You should select the paragraph that you want to "
                           "update by clicking on it's description in the lefthand box. You will "
                           "then be able to edit the text for that paragraph in the righthand "
                           "box. When you have finished, you should press the Save button to "
                           "update your website. |" +
                           body +
                           "| |VELLUMET INFORMATION|Version:   9.8.7|Copyright: (C) Test|"
                           "Support:   help@example.org|Website:   https://example.org/| |"
                           "ACKNOWLEDGEMENTS|Thanks.";
        QCOMPARE(page, expected.replace(u'|', QStringLiteral("\r\n")));
        QCOMPARE(thisProgram().version, u"1.0.2");
    }
};

QTEST_GUILESS_MAIN(TestInfoPage)
#include "tst_infopage.moc"

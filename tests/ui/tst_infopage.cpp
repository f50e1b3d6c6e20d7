#include "site/SiteDefinition.h"
#include "ui/InfoPage.h"

#include <QTest>

using namespace vellumet;

class TestInfoPage : public QObject
{
    Q_OBJECT
private slots:
    void text()
    {
        const SiteDefinition site = parseSiteDefinition(
            "SERVER=ftp.example.com\rLOGIN=client\rPASSWORD=secret\rDIRECTORY=\\www\\site\\\r"
            "TITLE=Example Bakery\rPAGE=index.htm\rPAGE=news.tpl,news.htm,\\pub\\news\\\r"
            "PARAGRAPH=opening_hours\rPARAGRAPH=offer,Special offer, this week\r"
            "DEVELOPER=Jo\rEMAIL=jo@example.com\rPHONE=01234\rWEBSITE= https://www.example.com/ ");
        const QString page = infoPageText(
            site.settings, site.pages, site.paragraphs,
            {"9.8.7", "(C) Test", "help@example.org", "https://example.org/", "Thanks."});
        QString expected =
            "VELLUMET INFORMATION|This program has been supplied to you by your website "
            "developer to enable you to update certain parts of your website yourself. You "
            "should select the paragraph that you want to update by clicking on it's description "
            "in the lefthand box. You will then be able to edit the text for that paragraph in "
            "the righthand box. When you have finished, you should press the Save button to "
            "update your website. | |WEBSITE DEVELOPER|Contact:   Jo|Phone:     01234|"
            "Email:     jo@example.com| |SERVER|Website:   Example Bakery|"
            "Address:   https://www.example.com/|Server:    "
            "ftp.example.com|Login ID:  client|Directory: /www/site| |PAGES|"
            "index.htm - index.htm - /www/site|news.tpl - news.htm - /pub/news| |PARAGRAPHS|"
            "opening_hours - opening hours|offer - Special offer, this week| |VELLUMET "
            "INFORMATION|Version:   9.8.7|Copyright: (C) Test|Support:   help@example.org|"
            "Website:   https://example.org/| |ACKNOWLEDGEMENTS|Thanks.";
        QCOMPARE(page, expected.replace(u'|', QStringLiteral("\r\n")));
        QCOMPARE(thisProgram().version, u"1.0.2");
    }
};

QTEST_GUILESS_MAIN(TestInfoPage)
#include "tst_infopage.moc"

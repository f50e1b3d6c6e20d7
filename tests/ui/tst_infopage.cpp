#include "site/SiteDefinition.h"
#include "ui/InfoPage.h"

#include <QTest>

class TestInfoPage : public QObject
{
    Q_OBJECT
private slots:
    void text_data();
    void text();
    void thisProgram();
};

static const ProgramDetails Program{QStringLiteral("9.8.7"), QStringLiteral("Copyright (C) Test"),
                                    QStringLiteral("help@example.org"),
                                    QStringLiteral("https://example.org/"),
                                    QStringLiteral("Thanks to the FTP library.")};

static const QStringList Head{
    QStringLiteral("VELLUMET INFORMATION"),
    QStringLiteral(
        "This program has been supplied to you by your website developer to enable you to "
        "update certain parts of your website yourself. You should select the paragraph "
        "that you want to update by clicking on it's description in the lefthand box. "
        "You will then be able to edit the text for that paragraph in the righthand "
        "box. When you have finished, you should press the Save button to update your "
        "website. ")};

static const QStringList Tail{QStringLiteral(" "),
                              QStringLiteral("VELLUMET INFORMATION"),
                              QStringLiteral("Version:   9.8.7"),
                              QStringLiteral("Copyright: Copyright (C) Test"),
                              QStringLiteral("Support:   help@example.org"),
                              QStringLiteral("Website:   https://example.org/"),
                              QStringLiteral(" "),
                              QStringLiteral("ACKNOWLEDGEMENTS"),
                              QStringLiteral("Thanks to the FTP library.")};

void TestInfoPage::text_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("body"); // the lines between the usage notes and the program

    const QByteArray site =
        "SERVER=ftp.example.com\r\nLOGIN=client\r\nPASSWORD=secret\r\n"
        "DIRECTORY=\\www\\site\\\r\nTITLE=Example Bakery\r\n"
        "PAGE=index.htm\r\nPAGE=news.tpl,news.htm,\\pub\\news\\\r\n"
        "PARAGRAPH=opening_hours\r\nPARAGRAPH=offer,Special offer, this week\r\n";
    const QStringList siteLines{QStringLiteral(" "),
                                QStringLiteral("SERVER"),
                                QStringLiteral("Website:   Example Bakery"),
                                QStringLiteral("Server:    ftp.example.com"),
                                QStringLiteral("Login ID:  client"),
                                QStringLiteral("Directory: /www/site"),
                                QStringLiteral(" "),
                                QStringLiteral("PAGES"),
                                QStringLiteral("index.htm - index.htm - /www/site"),
                                QStringLiteral("news.tpl - news.htm - /pub/news"),
                                QStringLiteral(" "),
                                QStringLiteral("PARAGRAPHS"),
                                QStringLiteral("opening_hours - opening hours"),
                                QStringLiteral("offer - Special offer, this week")};

    QTest::newRow("full site definition")
        << site + "DEVELOPER=Jo Webb\r\nEMAIL=jo@example.com\r\nPHONE=01234 567890\r\n"
        << QStringList{QStringLiteral(" "), QStringLiteral("WEBSITE DEVELOPER"),
                       QStringLiteral("Contact:   Jo Webb"),
                       QStringLiteral("Phone:     01234 567890"),
                       QStringLiteral("Email:     jo@example.com")} +
               siteLines;
    QTest::newRow("without developer details") << site << siteLines;
    QTest::newRow("only a phone number")
        << site + "PHONE=01234 567890"
        << QStringList{QStringLiteral(" "), QStringLiteral("WEBSITE DEVELOPER"),
                       QStringLiteral("Phone:     01234 567890")} +
               siteLines;
    QTest::newRow("empty title, no pages, no paragraphs")
        << QByteArray("SERVER=ftp.example.com\r\nTITLE=\r\n")
        << QStringList{QStringLiteral(" "),           QStringLiteral("SERVER"),
                       QStringLiteral("Website:   "), QStringLiteral("Server:    ftp.example.com"),
                       QStringLiteral("Login ID:  "), QStringLiteral("Directory: "),
                       QStringLiteral(" "),           QStringLiteral("PAGES"),
                       QStringLiteral(" "),           QStringLiteral("PARAGRAPHS")};
    QTest::newRow("pages without any directory")
        << QByteArray("PAGE=index.htm\rPAGE=a.tpl,a.htm")
        << QStringList{QStringLiteral(" "),
                       QStringLiteral("SERVER"),
                       QStringLiteral("Website:   "),
                       QStringLiteral("Server:    "),
                       QStringLiteral("Login ID:  "),
                       QStringLiteral("Directory: "),
                       QStringLiteral(" "),
                       QStringLiteral("PAGES"),
                       QStringLiteral("index.htm - index.htm"),
                       QStringLiteral("a.tpl - a.htm"),
                       QStringLiteral(" "),
                       QStringLiteral("PARAGRAPHS")};
}

void TestInfoPage::text()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, body);
    const SiteDefinition site = ParseSiteDefinition(ini);
    const QString page = InfoPageText(site.Settings, site.Pages, site.Paragraphs, Program);
    QCOMPARE(page.split(QStringLiteral("\r\n")), Head + body + Tail);
    // Every line end is CR LF, and the password never shows.
    QCOMPARE(page.count(u'\n'), page.count(QStringLiteral("\r\n")));
    QCOMPARE(page.count(u'\r'), page.count(QStringLiteral("\r\n")));
    QVERIFY(!page.contains(QStringLiteral("secret")));
}

void TestInfoPage::thisProgram()
{
    const ProgramDetails program = ThisProgram();
    QCOMPARE(program.Version, u"1.0.2");
    QVERIFY(!program.Copyright.isEmpty());
    QVERIFY(program.Acknowledgement.contains(QStringLiteral("libcurl")));
    QVERIFY(program.Acknowledgement.contains(QStringLiteral("https://curl.se/")));
}

QTEST_GUILESS_MAIN(TestInfoPage)
#include "tst_infopage.moc"

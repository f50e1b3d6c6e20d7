#include "TestFiles.h"

#include "publish/WebText.h"
#include "site/SiteDefinition.h"

using namespace vellumet;

using Texts = QList<QPair<QString, QString>>; // paragraph name, text

class TestWebText : public QObject
{
    Q_OBJECT
private slots:
    void encode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("html");
        row("markup", "<b>\"&amp;\" it's</b>", "&lt;b&gt;&quot;&amp;amp;&quot; it's&lt;/b&gt;");
        row("only CR LF breaks", "a\nb\rc\n\r\r\r\nd\r\n", "a\nb\rc\n\r\r<br>d<br>");
    }
    void encode()
    {
        QFETCH(QString, text);
        QTEST(encodeWebText(text), "html");
    }
    void splice_data()
    {
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<Texts>("paragraphs");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("result");
        const Texts intro{{"Intro", "a < b\r\nc"}};
        const QString at(40, u'@'); // every position a near miss of the marker
        row("near misses, unknown names", "@{", intro, at + "@{Intro}@@{intro}@" + at,
            at + "a &lt; b<br>c@{intro}@" + at);
        row("empty text removes every marker", "@{", Texts{{"Intro", ""}}, "a@{Intro}@b@{Intro}@",
            "ab");
        row("typed marker filled by a later paragraph", "@{",
            Texts{{"Intro", "@{News}@"}, {"News", "new"}}, "@{Intro}@", "new");
        row("empty marker", "", Texts{{"", "x"}}, "abc", "abc");
    }
    void splice()
    {
        QFETCH(QString, delimiter);
        QFETCH(Texts, paragraphs);
        QFETCH(QString, page);
        QList<Paragraph> paras;
        for (const auto &[name, text] : paragraphs)
            paras.append({name, name, text});
        QTEST(spliceParagraphs(page, delimiter, deriveEndDelimiter(delimiter), paras), "result");
    }
};

QTEST_GUILESS_MAIN(TestWebText)
#include "tst_webtext.moc"

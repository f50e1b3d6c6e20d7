#include "TestFiles.h"

#include "publish/WebText.h"
#include "site/SiteDefinition.h"

using namespace vellumet;

using Texts = QList<QPair<QString, QString>>; // paragraph name, text

class TestWebText : public QObject
{
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void splice_data();
    void splice();
};

void TestWebText::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");
    row("empty", "", "");
    row("markup", "<b>\"&amp;\" it's</b>", "&lt;b&gt;&quot;&amp;amp;&quot; it's&lt;/b&gt;");
    row("line ends", "a\r\n\r\nb\r\n", "a<br><br>b<br>");
    row("lone LF, lone CR, LF CR", "a\nb\rc\n\r", "a\nb\rc\n\r");
    row("CR CR LF", "\r\r\n", "\r<br>");
}

void TestWebText::encode()
{
    QFETCH(QString, text);
    QTEST(encodeWebText(text), "html");
}

void TestWebText::splice_data()
{
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<Texts>("paragraphs");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("result");

    const Texts intro{{"Intro", "a < b\r\nc"}}, none{{"Intro", ""}};
    const QString at(40, u'@'); // every position a near miss of the marker
    const char *filled = "a &lt; b<br>c";
    row("no markers", "@{", intro, "<p>x</p>", "<p>x</p>");
    row("marker twice, text encoded", "@{", intro, "@{Intro}@-@{Intro}@",
        "a &lt; b<br>c-a &lt; b<br>c");
    row("unknown names, case matters", "@{", intro, "@{intro}@@{X}@", "@{intro}@@{X}@");
    row("empty text removes every marker", "@{", none, "a@{Intro}@b@{Intro}@", "ab");
    row("marker among near misses on a long page", "@{", intro, at + "@{Intro}@" + at,
        at + filled + at);
    row("other delimiter, partial markers", "{{", intro, "{Intro} {{Intro} {{Intro}}",
        "{Intro} {{Intro} a &lt; b<br>c");
    row("typed marker filled by a later paragraph", "@{",
        Texts{{"Intro", "@{News}@"}, {"News", "new"}}, "@{Intro}@", "new");
    row("typed marker of an earlier paragraph stays", "@{",
        Texts{{"News", "new"}, {"Intro", "@{News}@"}}, "@{Intro}@", "@{News}@");
    row("own marker stays", "@{", Texts{{"Intro", "@{Intro}@"}}, "@{Intro}@", "@{Intro}@");
    row("joined neighbours are not rescanned", "@{", Texts{{"A", ""}}, "@{A@{A}@}@", "@{A}@");
    row("empty marker", "", Texts{{"", "x"}}, "abc", "abc");
    row("empty delimiter: bare names, no overlap", "", Texts{{"aa", "b"}}, "aaa concat",
        "ba concat");
}

void TestWebText::splice()
{
    QFETCH(QString, delimiter);
    QFETCH(Texts, paragraphs);
    QFETCH(QString, page);
    QList<Paragraph> paras;
    for (const auto &[name, text] : paragraphs)
        paras.append({name, name, text});
    QTEST(spliceParagraphs(page, delimiter, deriveEndDelimiter(delimiter), paras), "result");
}

QTEST_GUILESS_MAIN(TestWebText)
#include "tst_webtext.moc"

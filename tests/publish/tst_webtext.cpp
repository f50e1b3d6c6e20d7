#include "publish/WebText.h"
#include "site/SiteDefinition.h"

#include <QTest>

using namespace Qt::StringLiterals;
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
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("markup") << u"<b>\"&amp;\" it's</b>"_s
                            << u"&lt;b&gt;&quot;&amp;amp;&quot; it's&lt;/b&gt;"_s;
    QTest::newRow("line ends") << u"a\r\n\r\nb\r\n"_s << u"a<br><br>b<br>"_s;
    QTest::newRow("lone LF, lone CR, LF CR") << u"a\nb\rc\n\r"_s << u"a\nb\rc\n\r"_s;
    QTest::newRow("CR CR LF") << u"\r\r\n"_s << u"\r<br>"_s;
}

void TestWebText::encode()
{
    QFETCH(QString, text);
    QTEST(EncodeWebText(text), "html");
}

void TestWebText::splice_data()
{
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<Texts>("paragraphs");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("result");

    const Texts intro{{"Intro", "a < b\r\nc"}};
    const QString at(40, u'@'); // every position a near miss of the marker
    QTest::newRow("no markers") << u"@{"_s << intro << u"<p>x</p>"_s << u"<p>x</p>"_s;
    QTest::newRow("marker twice, text encoded")
        << u"@{"_s << intro << u"@{Intro}@-@{Intro}@"_s << u"a &lt; b<br>c-a &lt; b<br>c"_s;
    QTest::newRow("unknown names, case matters")
        << u"@{"_s << intro << u"@{intro}@@{X}@"_s << u"@{intro}@@{X}@"_s;
    QTest::newRow("empty text removes every marker")
        << u"@{"_s << Texts{{"Intro", ""}} << u"a@{Intro}@b@{Intro}@"_s << u"ab"_s;
    QTest::newRow("marker among near misses on a long page")
        << u"@{"_s << intro << at + u"@{Intro}@"_s + at << at + u"a &lt; b<br>c"_s + at;
    QTest::newRow("other delimiter, partial markers")
        << u"{{"_s << intro << u"{Intro} {{Intro} {{Intro}}"_s
        << u"{Intro} {{Intro} a &lt; b<br>c"_s;
    QTest::newRow("typed marker filled by a later paragraph")
        << u"@{"_s << Texts{{"Intro", "@{News}@"}, {"News", "new"}} << u"@{Intro}@"_s << u"new"_s;
    QTest::newRow("typed marker of an earlier paragraph stays")
        << u"@{"_s << Texts{{"News", "new"}, {"Intro", "@{News}@"}} << u"@{Intro}@"_s
        << u"@{News}@"_s;
    QTest::newRow("own marker stays")
        << u"@{"_s << Texts{{"Intro", "@{Intro}@"}} << u"@{Intro}@"_s << u"@{Intro}@"_s;
    QTest::newRow("joined neighbours are not rescanned")
        << u"@{"_s << Texts{{"A", ""}} << u"@{A@{A}@}@"_s << u"@{A}@"_s;
    QTest::newRow("empty marker") << QString() << Texts{{"", "x"}} << u"abc"_s << u"abc"_s;
    QTest::newRow("empty delimiter: bare names, no overlap")
        << QString() << Texts{{"aa", "b"}} << u"aaa concat"_s << u"ba concat"_s;
}

void TestWebText::splice()
{
    QFETCH(QString, delimiter);
    QFETCH(Texts, paragraphs);
    QFETCH(QString, page);
    QList<Paragraph> paras;
    for (const auto &[name, text] : paragraphs)
        paras.append({name, name, text});
    QTEST(SpliceParagraphs(page, delimiter, DeriveEndDelimiter(delimiter), paras), "result");
}

QTEST_GUILESS_MAIN(TestWebText)
#include "tst_webtext.moc"

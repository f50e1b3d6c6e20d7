#include "publish/WebText.h"

#include <QTest>

namespace
{

QList<Paragraph> Paras(const QList<QPair<QString, QString>> &nameText)
{
    QList<Paragraph> paras;
    for (const auto &[name, text] : nameText)
        paras.append({name, name, text});
    return paras;
}

} // namespace

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
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("markup escaped") << "Fish & Chips <b>best</b>"
                                    << "Fish &amp; Chips &lt;b&gt;best&lt;/b&gt;";
    QTest::newRow("quotation mark") << "say \"hi\""
                                    << "say &quot;hi&quot;";
    QTest::newRow("apostrophe passes") << "it's"
                                       << "it's";
    QTest::newRow("line end") << "one\r\ntwo"
                              << "one<br>two";
    QTest::newRow("blank line") << "a\r\n\r\nb"
                                << "a<br><br>b";
    QTest::newRow("lone LF and CR stay") << "a\nb\rc"
                                         << "a\nb\rc";
    QTest::newRow("CR CR LF") << "\r\r\n"
                              << "\r<br>";
    QTest::newRow("LF CR is no line end") << "a\n\rb"
                                          << "a\n\rb";
    QTest::newRow("entities not recognised") << "&lt;"
                                             << "&amp;lt;";
    QTest::newRow("typed tag shows as text") << "<br>"
                                             << "&lt;br&gt;";
    QTest::newRow("non-ASCII untouched")
        << QStringLiteral("\u00E9\u20AC") << QStringLiteral("\u00E9\u20AC");
}

void TestWebText::encode()
{
    QFETCH(QString, text);
    QTEST(EncodeWebText(text), "html");
}

void TestWebText::splice_data()
{
    using Texts = QList<QPair<QString, QString>>;
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<Texts>("paragraphs");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("result");

    const Texts intro{{"Intro", "Hello\r\nWorld"}};
    QTest::newRow("no markers") << "@{" << intro << "<p>plain</p>\r\n"
                                << "<p>plain</p>\r\n";
    QTest::newRow("marker twice") << "@{" << intro << "<p>@{Intro}@</p>@{Intro}@"
                                  << "<p>Hello<br>World</p>Hello<br>World";
    QTest::newRow("case matters") << "@{" << intro << "@{intro}@"
                                  << "@{intro}@";
    QTest::newRow("empty text removes the marker") << "@{" << Texts{{"Intro", ""}} << "a@{Intro}@b"
                                                   << "ab";
    QTest::newRow("unknown name stays") << "@{" << intro << "@{Other}@"
                                        << "@{Other}@";
    QTest::newRow("text encoded") << "@{" << Texts{{"Intro", "a < b & c"}} << "@{Intro}@"
                                  << "a &lt; b &amp; c";
    QTest::newRow("other delimiter") << "{{" << intro << "{Intro} {{Intro} {{Intro}}"
                                     << "{Intro} {{Intro} Hello<br>World";
    QTest::newRow("typed marker filled by a later paragraph")
        << "@{" << Texts{{"Intro", "@{News}@"}, {"News", "fresh"}} << "@{Intro}@"
        << "fresh";
    QTest::newRow("typed marker of an earlier paragraph stays")
        << "@{" << Texts{{"News", "fresh"}, {"Intro", "@{News}@"}} << "@{Intro}@"
        << "@{News}@";
    QTest::newRow("own marker stays") << "@{" << Texts{{"Intro", "@{Intro}@"}} << "@{Intro}@"
                                      << "@{Intro}@";
    QTest::newRow("empty marker changes nothing") << "" << Texts{{"", "x"}} << "abc"
                                                  << "abc";
    QTest::newRow("empty delimiter replaces the bare name")
        << "" << Texts{{"cat", "dog"}} << "cat concat"
        << "dog condog";
    QTest::newRow("markers do not overlap") << "" << Texts{{"aa", "b"}} << "aaa"
                                            << "ba";
}

void TestWebText::splice()
{
    using Texts = QList<QPair<QString, QString>>;
    QFETCH(QString, delimiter);
    QFETCH(Texts, paragraphs);
    QFETCH(QString, page);
    const QString end = delimiter == u"@{"   ? QStringLiteral("}@")
                        : delimiter == u"{{" ? QStringLiteral("}}")
                                             : QString();
    QTEST(SpliceParagraphs(page, delimiter, end, Paras(paragraphs)), "result");
}

QTEST_GUILESS_MAIN(TestWebText)
#include "tst_webtext.moc"

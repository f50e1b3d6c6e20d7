#include "LargeText.h"

#include "publish/WebText.h"

#include <QTest>

// Splicing pages far larger than any real one. Each case is large enough that work
// growing with the square of the page would run for hours and hit the test's time-out.
// No timing is asserted: finishing at all is the proof.

class TestLargePage : public QObject
{
    Q_OBJECT
private slots:
    void largePageWithAThousandParagraphs();
    void pageOfNothingButMarkers_data();
    void pageOfNothingButMarkers();
    void joinedMarkersAreNotRescanned();
};

// 20 MB of HTML holding two markers of each of 1,000 paragraphs, and one marker of a
// paragraph that is not in the catalogue.
void TestLargePage::largePageWithAThousandParagraphs()
{
    constexpr int count = 1'000;
    constexpr qsizetype filler = 10'000; // characters of HTML between two markers
    const QString html =
        Repeated(QStringLiteral("<p class=\"x\">lorem &amp; ipsum</p>\r\n"), filler / 36 + 1)
            .left(filler);
    QList<Paragraph> paras;
    QString page;
    QString expected;
    for (int round = 0; round < 2; ++round) {
        for (int n = 0; n < count; ++n) {
            if (round == 0)
                paras.append({QStringLiteral("para%1").arg(n),
                              {},
                              QStringLiteral("\"%1\" < %2\r\n").arg(n).arg(n + 1),
                              false});
            page += html + QStringLiteral("@{para%1}@").arg(n);
            expected += html + QStringLiteral("&quot;%1&quot; &lt; %2<br>").arg(n).arg(n + 1);
        }
    }
    page += QStringLiteral("@{unknown}@");
    expected += QStringLiteral("@{unknown}@");
    QVERIFY(page.size() > 20'000'000);

    QCOMPARE(SpliceParagraphs(page, QStringLiteral("@{"), QStringLiteral("}@"), paras), expected);
}

void TestLargePage::pageOfNothingButMarkers_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("expectedUnit");

    QTest::newRow("one marker") << "@{A}@" << QStringList{"A"} << QStringList{"x"} << "x";
    QTest::newRow("emptied") << "@{A}@" << QStringList{"A"} << QStringList{""} << "";
    QTest::newRow("two paragraphs")
        << "@{A}@@{B}@" << QStringList{"A", "B"} << QStringList{"1", "<2>"} << "1&lt;2&gt;";
    QTest::newRow("text names a later paragraph")
        << "@{A}@" << QStringList{"A", "B"} << QStringList{"@{B}@", "b"} << "b";
    QTest::newRow("text names an earlier paragraph")
        << "@{B}@" << QStringList{"A", "B"} << QStringList{"a", "@{A}@"} << "@{A}@";
    QTest::newRow("text is its own marker")
        << "@{A}@" << QStringList{"A"} << QStringList{"@{A}@"} << "@{A}@";
    QTest::newRow("no name in the catalogue")
        << "@{X}@" << QStringList{"A"} << QStringList{"a"} << "@{X}@";
    QTest::newRow("delimiters only")
        << "@{" << QStringList{"A", ""} << QStringList{"a", "b"} << "@{";
    QTest::newRow("empty name") << "@{}@" << QStringList{""} << QStringList{"e"} << "e";
}

// Two million copies of the unit: 10 to 20 MB.
void TestLargePage::pageOfNothingButMarkers()
{
    QFETCH(QString, unit);
    QFETCH(QStringList, names);
    QFETCH(QStringList, texts);
    QFETCH(QString, expectedUnit);
    constexpr qsizetype copies = 2'000'000;

    const QString spliced = SpliceParagraphs(Repeated(unit, copies), QStringLiteral("@{"),
                                             QStringLiteral("}@"), Paragraphs(names, texts));
    QCOMPARE(spliced.size(), expectedUnit.size() * copies);
    QCOMPARE(spliced, Repeated(expectedUnit, copies));
}

// Removing the innermost marker joins its neighbours into a new marker, which stays:
// each paragraph scans the page once. Scanning until no marker is left would take a
// million passes here.
void TestLargePage::joinedMarkersAreNotRescanned()
{
    constexpr qsizetype depth = 1'000'000;
    const QString opening = Repeated(QStringLiteral("@{A"), depth);
    const QString closing = Repeated(QStringLiteral("}@"), depth);
    const QString spliced =
        SpliceParagraphs(opening + QStringLiteral("@{A}@") + closing, QStringLiteral("@{"),
                         QStringLiteral("}@"), Paragraphs({QStringLiteral("A")}, {QString()}));
    QCOMPARE(spliced, opening + closing);
}

QTEST_GUILESS_MAIN(TestLargePage)
#include "tst_largepage.moc"

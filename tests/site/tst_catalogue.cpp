#include "site/Catalogue.h"
#include "site/LocalCopies.h"

#include <QTest>

class TestCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void fitListWidth_data();
    void fitListWidth();
    void trimTrailingBreaks_data();
    void trimTrailingBreaks();
};

void TestCatalogue::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("half down to even") << 2414.5 << 2414;
    QTest::newRow("half up to even") << 2415.5 << 2416;
    QTest::newRow("below half") << 10.49 << 10;
    QTest::newRow("negative half") << -2.5 << -2;
}

void TestCatalogue::roundHalfEven()
{
    QFETCH(double, value);
    QTEST(RoundHalfEven(value), "rounded");
}

void TestCatalogue::fitListWidth_data()
{
    QTest::addColumn<QList<double>>("measured");
    QTest::addColumn<double>("innerWidth");
    QTest::addColumn<int>("listWidth");
    QTest::addColumn<double>("newListWidth"); // -1: the list stays as designed
    QTest::addColumn<double>("newEditorLeft");

    // The list is designed 2415 twips wide at a left edge of 120.
    QTest::newRow("no paragraphs") << QList<double>{} << 5190.0 << 360 << -1.0 << -1.0;
    QTest::newRow("short descriptions leave the design")
        << QList<double>{600, 2055} << 5190.0 << 2415 << -1.0 << -1.0;
    QTest::newRow("long description widens the list")
        << QList<double>{600, 3000} << 8000.0 << 3360 << 3360.0 << 3600.0;
    QTest::newRow("limited to half the inner width less 360")
        << QList<double>{9000} << 8000.0 << 3820 << 3820.0 << 4060.0;
    QTest::newRow("limit rounded half to even")
        << QList<double>{9000} << 8001.0 << 3820 << 3820.0 << 4060.0;
    QTest::newRow("measured widths rounded half to even")
        << QList<double>{2500.5} << 9000.0 << 2860 << 2860.0 << 3100.0;
    QTest::newRow("design inner width limits to the design width")
        << QList<double>{5000} << 5190.0 << 2415 << -1.0 << -1.0;
}

void TestCatalogue::fitListWidth()
{
    QFETCH(QList<double>, measured);
    QFETCH(double, innerWidth);
    int listWidth = 0;
    for (double width : measured)
        listWidth = WidenListWidth(listWidth, width);
    const ListFit fit = FitListWidth(listWidth, 2415, 120, innerWidth);
    QTEST(fit.ListWidth, "listWidth");
    QTEST(fit.NewListWidth.value_or(-1), "newListWidth");
    QTEST(fit.NewEditorLeft.value_or(-1), "newEditorLeft");
}

void TestCatalogue::trimTrailingBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    const QString z(QChar(26));
    const QString nul(QChar(0));
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("two line ends") << "Hello\r\n\r\n"
                                   << "Hello";
    QTest::newRow("line end then Ctrl-Z") << "Hello\r\n" + z << "Hello";
    QTest::newRow("only one Ctrl-Z goes") << "Hello" + z + z << "Hello" + z;
    QTest::newRow("Ctrl-Z before a line end stays") << "Hello" + z + "\r\n"
                                                    << "Hello" + z;
    QTest::newRow("lone LF stays") << "Hello\n"
                                   << "Hello\n";
    QTest::newRow("lone CR stays") << "Hello\r"
                                   << "Hello\r";
    QTest::newRow("line end alone") << "\r\n"
                                    << "";
    QTest::newRow("single NUL") << nul << "";
    QTest::newRow("space between line ends") << "Hello\r\n \r\n"
                                             << "Hello\r\n ";
    QTest::newRow("leading line ends and trailing spaces stay") << "\r\nHello \t"
                                                                << "\r\nHello \t";
}

void TestCatalogue::trimTrailingBreaks()
{
    QFETCH(QString, text);
    QTEST(TrimTrailingBreaks(text), "trimmed");
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"

#include "ui/LayoutRule.h"
#include "ui/WindowPlacement.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTest>

using namespace vellumet;

Q_DECLARE_METATYPE(StoredPlacement)

class TestWindowPlacement : public QObject
{
    Q_OBJECT
private slots:
    void restore_data()
    {
        QTest::addColumn<QStringList>("stored"); // MainLeft, MainTop, MainWidth, MainHeight
        QTest::addColumn<QSizeF>("screen");
        QTest::addColumn<QRectF>("placed");
        const QSizeF s1024(15360, 11520); // 1024 x 768 pixels
        const QRectF defaults(1536, 1152, 12288, 9216);
        const auto row = [](const char *name, QString stored, QSizeF screen, QRectF placed) {
            QTest::newRow(name) << stored.split(u' ') << screen << placed;
        };
        row("first start", QStringLiteral("- - - -"), s1024, defaults);
        row("larger screen", QStringLiteral("- - - -"), {28800, 16200}, {2880, 1620, 23040, 12960});
        row("right edge on the screen's", QStringLiteral("3360 600 12000 9000"), s1024,
            {3360, 600, 12000, 9000});
        row("one twip past resets all", QStringLiteral("3361 600 12000 9000"), s1024, defaults);
        row("bottom past resets all", QStringLiteral("0 3000 12000 9000"), s1024, defaults);
        row("negative left, fractions, tiny", QStringLiteral("-2000 20.25 30 40"), s1024,
            {-2000, 20.25, 30, 40});
        row("absent and unreadable take defaults", QStringLiteral("100 nan 1536px 5000"), s1024,
            {100, 1152, 12288, 5000});
        row("default width no longer fits", QStringLiteral("4000 - - -"), s1024, defaults);
    }
    void restore()
    {
        QFETCH(QStringList, stored);
        QFETCH(QSizeF, screen);
        StoredPlacement p;
        std::optional<float> *fields[] = {&p.left, &p.top, &p.width, &p.height};
        for (int i = 0; i < 4; ++i)
            *fields[i] = parsePlacementValue(stored[i]);
        const Placement r = restoredPlacement(p, screen);
        QTEST(QRectF(r.left, r.top, r.width, r.height), "placed");
    }
    void valueText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("value"); // NaN: unreadable
        const float no = qQNaN();
        for (auto [text, value] : {std::pair{"1536", 1536.0f},
                                   {"0", 0.0f},
                                   {"-120", -120.0f},
                                   {"1536.5", 1536.5f},
                                   {"0.1", 0.1f},
                                   {"10000000", 1.0e7f},
                                   {"", no},
                                   {" 1536", no},
                                   {"1536px", no},
                                   {"1e39", no},
                                   {"nan", no}})
            QTest::newRow(text) << QString::fromLatin1(text) << value;
    }
    void valueText()
    {
        QFETCH(QString, text);
        QFETCH(float, value);
        QCOMPARE(parsePlacementValue(text).value_or(qQNaN()), value);
        if (!qIsNaN(value))
            QCOMPARE(placementValueText(value), text);
    }
    void storedOnlyInNormalState()
    {
        const Placement current{-120, 30, 9000, 6000};
        QCOMPARE(placementToStore(current, Qt::WindowActive), current);
        const Qt::WindowStates others[] = {Qt::WindowMaximized, Qt::WindowMinimized,
                                           Qt::WindowFullScreen,
                                           Qt::WindowMinimized | Qt::WindowMaximized};
        for (Qt::WindowStates s : others)
            QVERIFY(!placementToStore(current, s));
        QStandardPaths::setTestModeEnabled(true);
        writeStoredPlacement({1536, -15, 12288.5f, 9216});
        QSettings settings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet"));
        QCOMPARE(settings.value(QStringLiteral("Settings/MainWidth")).toString(), u"12288.5");
        QCOMPARE(readStoredPlacement().top, std::optional<float>(-15));
        settings.clear();
    }
    void fitListWidth_data()
    {
        QTest::addColumn<QList<double>>("measured");
        QTest::addColumn<double>("innerWidth");
        QTest::addColumn<int>("listWidth");
        QTest::addColumn<double>("newEditorLeft"); // -1: the list stays as designed
        const auto row = [](const char *name, QList<double> measured, double inner, int width,
                            double left) {
            QTest::newRow(name) << measured << inner << width << left;
        };
        // The list is designed 2415 twips wide at a left edge of 120.
        row("no paragraphs", {}, 5190, 360, -1);
        row("short descriptions", {600, 2055}, 5190, 2415, -1);
        row("long description widens", {600, 3000}, 8000, 3360, 3600);
        row("widths rounded half to even", {2500.5}, 9000, 2860, 3100);
        row("limit rounded half to even", {9000}, 8001, 3820, 4060);
        row("limit equal to the design", {5000}, 5190, 2415, -1);
    }
    void fitListWidth()
    {
        QFETCH(QList<double>, measured);
        QFETCH(double, innerWidth);
        int listWidth = 0;
        for (double width : measured)
            listWidth = widenListWidth(listWidth, width);
        const ListFit fit = vellumet::fitListWidth(listWidth, 2415, 120, innerWidth);
        QTEST(fit.listWidth, "listWidth");
        QCOMPARE(fit.newListWidth.value_or(-1), fit.newEditorLeft ? fit.listWidth : -1);
        QTEST(fit.newEditorLeft.value_or(-1), "newEditorLeft");
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"

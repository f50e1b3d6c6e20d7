#include "UiTestSupport.h"

#include "ui/WindowPlacement.h"

#include <QSettings>
#include <QTest>

Q_DECLARE_METATYPE(StoredPlacement)

// 1024 x 768 pixels at 15 twips each.
static const QSizeF Screen1024(15360, 11520);

class TestWindowPlacement : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { UseTestSettings(); }
    void restore_data();
    void restore();
    void store_data();
    void store();
    void valueText_data();
    void valueText();
    void unreadableValues_data();
    void unreadableValues();
    void settingsHoldTheTextForm();
};

static std::optional<float> Stored(const char *text)
{
    return text ? ParsePlacementValue(QString::fromLatin1(text)) : std::nullopt;
}

void TestWindowPlacement::restore_data()
{
    QTest::addColumn<StoredPlacement>("stored");
    QTest::addColumn<QSizeF>("screen");
    QTest::addColumn<QRectF>("placed");

    const QRectF defaults(1536, 1152, 12288, 9216);
    QTest::newRow("first start") << StoredPlacement{} << Screen1024 << defaults;
    QTest::newRow("first start on a larger screen")
        << StoredPlacement{} << QSizeF(28800, 16200) << QRectF(2880, 1620, 23040, 12960);
    QTest::newRow("right edge exactly at the screen edge")
        << StoredPlacement{Stored("3360"), Stored("600"), Stored("12000"), Stored("9000")}
        << Screen1024 << QRectF(3360, 600, 12000, 9000);
    QTest::newRow("one twip past the right edge resets all four")
        << StoredPlacement{Stored("3361"), Stored("600"), Stored("12000"), Stored("9000")}
        << Screen1024 << defaults;
    QTest::newRow("bottom past the screen resets all four")
        << StoredPlacement{Stored("0"), Stored("3000"), Stored("12000"), Stored("9000")}
        << Screen1024 << defaults;
    QTest::newRow("bottom exactly at the screen edge")
        << StoredPlacement{Stored("0"), Stored("2520"), Stored("12000"), Stored("9000")}
        << Screen1024 << QRectF(0, 2520, 12000, 9000);
    QTest::newRow("negative left edge kept")
        << StoredPlacement{Stored("-2000"), Stored("600"), Stored("12000"), Stored("9000")}
        << Screen1024 << QRectF(-2000, 600, 12000, 9000);
    QTest::newRow("tiny window kept")
        << StoredPlacement{Stored("10"), Stored("20"), Stored("30"), Stored("40")} << Screen1024
        << QRectF(10, 20, 30, 40);
    QTest::newRow("absent keys take their defaults")
        << StoredPlacement{Stored("100"), std::nullopt, std::nullopt, Stored("5000")} << Screen1024
        << QRectF(100, 1152, 12288, 5000);
    QTest::newRow("default width that no longer fits resets the stored left edge")
        << StoredPlacement{Stored("4000"), std::nullopt, std::nullopt, std::nullopt} << Screen1024
        << defaults;
    QTest::newRow("fractions kept")
        << StoredPlacement{Stored("1536.5"), Stored("1152.25"), Stored("12288"), Stored("9216")}
        << Screen1024 << QRectF(1536.5, 1152.25, 12288, 9216);
}

void TestWindowPlacement::restore()
{
    QFETCH(StoredPlacement, stored);
    QFETCH(QSizeF, screen);
    QFETCH(QRectF, placed);
    const Placement restored = RestoredPlacement(stored, screen);
    QCOMPARE(restored.Left, float(placed.left()));
    QCOMPARE(restored.Top, float(placed.top()));
    QCOMPARE(restored.Width, float(placed.width()));
    QCOMPARE(restored.Height, float(placed.height()));
}

void TestWindowPlacement::store_data()
{
    QTest::addColumn<Qt::WindowStates>("state");
    QTest::addColumn<bool>("stored");
    QTest::newRow("normal") << Qt::WindowStates(Qt::WindowNoState) << true;
    QTest::newRow("normal and active") << Qt::WindowStates(Qt::WindowActive) << true;
    QTest::newRow("maximized") << Qt::WindowStates(Qt::WindowMaximized) << false;
    QTest::newRow("minimized") << Qt::WindowStates(Qt::WindowMinimized) << false;
    QTest::newRow("minimized from maximized")
        << Qt::WindowStates(Qt::WindowMinimized | Qt::WindowMaximized) << false;
    QTest::newRow("full screen") << Qt::WindowStates(Qt::WindowFullScreen) << false;
}

void TestWindowPlacement::store()
{
    QFETCH(Qt::WindowStates, state);
    const Placement current{-120, 30, 9000, 6000};
    const std::optional<Placement> stored = PlacementToStore(current, state);
    QTEST(stored.has_value(), "stored");
    if (stored)
        QCOMPARE(*stored, current);
}

void TestWindowPlacement::valueText_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole number") << 1536.0f << QStringLiteral("1536");
    QTest::newRow("zero") << 0.0f << QStringLiteral("0");
    QTest::newRow("negative") << -120.0f << QStringLiteral("-120");
    QTest::newRow("fraction") << 1536.5f << QStringLiteral("1536.5");
    QTest::newRow("shortest single-precision text") << 0.1f << QStringLiteral("0.1");
    QTest::newRow("large, without exponent") << 1.0e7f << QStringLiteral("10000000");
}

void TestWindowPlacement::valueText()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(PlacementValueText(value), text);
    QCOMPARE(ParsePlacementValue(text), std::optional<float>(value));
}

void TestWindowPlacement::unreadableValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("words") << QStringLiteral("left");
    QTest::newRow("leading space") << QStringLiteral(" 1536");
    QTest::newRow("trailing garbage") << QStringLiteral("1536px");
    QTest::newRow("too large for single precision") << QStringLiteral("1e39");
    QTest::newRow("not a number") << QStringLiteral("nan");
}

void TestWindowPlacement::unreadableValues()
{
    QFETCH(QString, text);
    QVERIFY(!ParsePlacementValue(text));
}

void TestWindowPlacement::settingsHoldTheTextForm()
{
    QSettings settings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet"));
    settings.clear();
    WriteStoredPlacement({1536, -15, 12288.5f, 9216});
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("Settings/MainLeft")).toString(), u"1536");
    QCOMPARE(settings.value(QStringLiteral("Settings/MainTop")).toString(), u"-15");
    QCOMPARE(settings.value(QStringLiteral("Settings/MainWidth")).toString(), u"12288.5");
    QCOMPARE(settings.value(QStringLiteral("Settings/MainHeight")).toString(), u"9216");
    const StoredPlacement read = ReadStoredPlacement();
    QCOMPARE(read.Left, std::optional<float>(1536));
    QCOMPARE(read.Top, std::optional<float>(-15));
    QCOMPARE(read.Width, std::optional<float>(12288.5f));
    QCOMPARE(read.Height, std::optional<float>(9216));
    settings.clear();
}

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"

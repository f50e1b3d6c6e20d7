#include "TestFiles.h"

#include "ui/WindowPlacement.h"

#include <QSettings>
#include <QStandardPaths>

using namespace vellumet;

class TestWindowPlacement : public QObject
{
    Q_OBJECT
private slots:
    void restore_data()
    {
        QTest::addColumn<QString>("stored"); // MainLeft, MainTop, MainWidth, MainHeight
        QTest::addColumn<QRectF>("placed");  // on a screen of 1024 x 768 pixels
        const QRectF defaults(1536, 1152, 12288, 9216);
        row("bottom past resets all", "0 3000 12000 9000", defaults);
        row("absent and unreadable take defaults", "100 nan 1536px 5000",
            QRectF(100, 1152, 12288, 5000));
        row("default width no longer fits", "4000 - - -", defaults);
    }
    void restore()
    {
        QFETCH(QString, stored);
        const QStringList values = stored.split(u' ');
        StoredPlacement p;
        std::optional<float> *fields[] = {&p.left, &p.top, &p.width, &p.height};
        for (int i = 0; i < 4; ++i)
            *fields[i] = parsePlacementValue(values[i]);
        const Placement r = restoredPlacement(p, QSizeF(15360, 11520));
        QTEST(QRectF(r.left, r.top, r.width, r.height), "placed");
    }
    void storedOnlyInNormalState()
    {
        const Placement current{-120, 30, 9000, 6000};
        QCOMPARE(placementToStore(current, Qt::WindowActive), current);
        QVERIFY(!placementToStore(current, Qt::WindowMinimized));
        QVERIFY(!placementToStore(current, Qt::WindowFullScreen));
        QStandardPaths::setTestModeEnabled(true);
        writeStoredPlacement({1536, -15, 12288.5f, 9216});
        QSettings settings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet"));
        QCOMPARE(settings.value(QStringLiteral("Settings/MainWidth")).toString(), u"12288.5");
        QCOMPARE(readStoredPlacement().top, std::optional<float>(-15));
        settings.clear();
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"

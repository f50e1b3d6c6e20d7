#include "UiTestSupport.h"

#include "ui/PlainTextEditor.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

// Geometry is read in twips; the toolkit places whole pixels, so a size computed in
// twips may land up to one pixel away.
class TestMainWindowLayout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { UseTestSettings(); }
    void init() { UseTestSettings(); }
    void design();
    void layout_data();
    void layout();
    void minimizeAndRestore();
    void widenedListNarrowsTheEditor();

private:
    FakeQuestions questions_;
    FakeServer server_;
};

static QRectF InTwips(const QWidget *control)
{
    const Twips twips = Twips::ForWidget(control);
    const QRect r = control->geometry();
    return {twips.fromPixels(r.x()), twips.fromPixels(r.y()), twips.fromPixels(r.width()),
            twips.fromPixels(r.height())};
}

static bool Near(double actual, double expected)
{
    return qAbs(actual - expected) < 15;
}

void TestMainWindowLayout::design()
{
    frmMain window(QString(), server_.clients(), questions_);
    QCOMPARE(window.windowTitle(), u"Vellumet");
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.windowIcon().availableSizes().value(0), QSize(48, 48));

    QCOMPARE(InTwips(ParaList(window)), QRectF(120, 600, 2415, 1020));
    QCOMPARE(InTwips(Editor(window)), QRectF(2655, 120, 2415, 1095));
    QVERIFY(!Button(window, "cmdSave")->isEnabled());
    auto *sizer = window.findChild<QWidget *>(QStringLiteral("lblSize"));
    QVERIFY(sizer);
    QVERIFY(sizer->isHidden());
    // Measuring only works when the list and the label agree on the font.
    QCOMPARE(sizer->font(), ParaList(window)->font());
    QVERIFY(QFontInfo(ParaList(window)->font()).fixedPitch());
    QCOMPARE(Editor(window)->font(), ParaList(window)->font());

    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), Button(window, "cmdInfo"));
    const char *tabOrder[] = {"cmdInfo", "cmdSave", "cmdExit", "lstPara", "rtbEdit"};
    Button(window, "cmdSave")->setEnabled(true); // a disabled button is skipped by Tab
    for (int i = 1; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(tabOrder[i]));
    }
}

void TestMainWindowLayout::layout_data()
{
    QTest::addColumn<QSizeF>("client"); // empty: the design's client area
    QTest::addColumn<double>("listHeight");
    QTest::addColumn<QSizeF>("editor");

    QTest::newRow("design client area") << QSizeF() << 1875.0 << QSizeF(2415, 2355);
    QTest::newRow("1000 twips larger each way")
        << QSizeF(6190, 3595) << 2875.0 << QSizeF(3415, 3355);
    QTest::newRow("just high enough for the list") << QSizeF(5190, 720) << 0.0 << QSizeF(2415, 480);
    QTest::newRow("too low for the list keeps its height, widens the editor")
        << QSizeF(6190, 600) << 1875.0 << QSizeF(3415, 360);
    QTest::newRow("too narrow for the editor keeps its width")
        << QSizeF(2700, 2595) << 1875.0 << QSizeF(2415, 2355);
}

void TestMainWindowLayout::layout()
{
    QFETCH(QSizeF, client);
    QFETCH(double, listHeight);
    QFETCH(QSizeF, editor);

    frmMain window(QString(), server_.clients(), questions_);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const Twips twips = Twips::ForWidget(&window);
    if (!client.isEmpty())
        window.resize(twips.toPixels(client.width()), twips.toPixels(client.height()));
    QTRY_VERIFY(client.isEmpty() || window.size() == QSize(twips.toPixels(client.width()),
                                                           twips.toPixels(client.height())));

    const QRectF list = InTwips(ParaList(window));
    QVERIFY2(Near(list.height(), listHeight), qPrintable(QString::number(list.height())));
    QCOMPARE(list.topLeft(), QPointF(120, 600));
    QCOMPARE(list.width(), 2415.0);
    const QRectF edit = InTwips(Editor(window));
    QCOMPARE(edit.topLeft(), QPointF(2655, 120));
    QVERIFY2(Near(edit.width(), editor.width()), qPrintable(QString::number(edit.width())));
    QVERIFY2(Near(edit.height(), editor.height()), qPrintable(QString::number(edit.height())));
    QCOMPARE(InTwips(Button(window, "cmdExit")), QRectF(1800, 120, 735, 375));
}

void TestMainWindowLayout::minimizeAndRestore()
{
    frmMain window(QString(), server_.clients(), questions_);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect list = ParaList(window)->geometry();
    const QRect editor = Editor(window)->geometry();
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    window.showNormal();
    QTRY_VERIFY(!window.isMinimized());
    QCOMPARE(ParaList(window)->geometry(), list);
    QCOMPARE(Editor(window)->geometry(), editor);
}

void TestMainWindowLayout::widenedListNarrowsTheEditor()
{
    TestSite site;
    site.writeDefinition("PARAGRAPH=short\r\n"
                         // measured as written: rendered as markup it would be narrow
                         "PARAGRAPH=long,Fish &amp; chips <b></b><b></b><b></b><b></b><b></b>");
    std::unique_ptr<frmMain> window = StartWindow(site, questions_, server_);
    QVERIFY(window->isVisible());
    const Twips twips = Twips::ForWidget(window.get());
    const QRectF list = InTwips(ParaList(*window));
    const QRectF editor = InTwips(Editor(*window));
    QVERIFY(list.width() > 2415);
    QVERIFY(Near(editor.left(), list.right() + 120));
    QVERIFY(Near(editor.right(), twips.fromPixels(window->width()) - 120));
    // The limit keeps the widened list no wider than the editor.
    QVERIFY(list.width() <= editor.width() + 15);
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"

#include "UiTestSupport.h"

#include "ui/PlainTextEditor.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTestEventList>

// Selecting, editing and saving paragraphs as a user does it: clicks in the list and
// on the buttons, keys typed into the editor.
class TestEditing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { UseTestSettings(); }
    void init();
    void cleanup();
    void selectingShowsTheParagraph();
    void changes_data();
    void changes();
    void selectingLeavesUnusualTextsAlone_data();
    void selectingLeavesUnusualTextsAlone();
    void editedLineEndsBecomeCrLf();
    void editsSurviveSelectingAnother();
    void userCannotClearTheSelection_data();
    void userCannotClearTheSelection();
    void infoPageKeepsEditsAndNeverBecomesText();
    void saveHoldsTheWindowUntilTheRunEnds();

private:
    std::unique_ptr<TestSite> site_;
    std::unique_ptr<FakeServer> server_;
    FakeQuestions questions_;
    std::unique_ptr<frmMain> window_;
    void start(const QByteArray &oddText = "odd");
};

void TestEditing::init()
{
    UseTestSettings();
    site_ = std::make_unique<TestSite>();
    server_ = std::make_unique<FakeServer>();
    site_->writeDefinition("TITLE=Corner Bakery\r\nSERVER=ftp.example.com\r\n"
                           "PAGE=index.tpl,index.html\r\n"
                           "PARAGRAPH=intro,Introduction\r\nPARAGRAPH=hours,Opening hours\r\n"
                           "PARAGRAPH=odd,Odd characters\r\n");
    site_->writeFile(QStringLiteral("intro.txt"), "hello\r\nworld");
}

void TestEditing::cleanup()
{
    if (window_ && window_->IsPublishing())
        server_->releaseLogins();
    QTRY_VERIFY(!window_ || !window_->IsPublishing());
    window_.reset();
}

void TestEditing::start(const QByteArray &oddText)
{
    site_->writeFile(QStringLiteral("odd.txt"), oddText);
    window_ = StartWindow(*site_, questions_, *server_);
    QVERIFY(window_->isActiveWindow());
}

void TestEditing::selectingShowsTheParagraph()
{
    start();
    ClickEntry(*window_, 0);
    QCOMPARE(window_->CurrentPara(), 1);
    QCOMPARE(Editor(*window_)->text(), u"hello\r\nworld");
    QVERIFY(!Editor(*window_)->isReadOnly());
    QVERIFY(Editor(*window_)->hasFocus());
    QVERIFY(!Button(*window_, "cmdSave")->isEnabled());
}

void TestEditing::changes_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<bool>("saveEnabled");

    QTestEventList typed;
    typed.addKeyClicks(QStringLiteral("x"));
    QTest::newRow("one character typed") << 0 << typed << true;
    QTestEventList typedAndDeleted = typed;
    typedAndDeleted.addKeyClick(Qt::Key_Backspace);
    QTest::newRow("typed and deleted again") << 0 << typedAndDeleted << true;
    QTestEventList caseOnly;
    caseOnly.addKeyClick(Qt::Key_Right, Qt::ShiftModifier);
    caseOnly.addKeyClicks(QStringLiteral("H"));
    QTest::newRow("letter case only") << 0 << caseOnly << true;
    QTestEventList moves;
    moves.addKeyClick(Qt::Key_End);
    moves.addKeyClick(Qt::Key_Down);
    moves.addKeyClick(Qt::Key_Left, Qt::ShiftModifier);
    QTest::newRow("cursor moves and selections") << 0 << moves << false;
    QTestEventList hours;
    hours.addKeyClicks(QStringLiteral("9 to 5"));
    QTest::newRow("empty paragraph typed into") << 1 << hours << true;
    QTest::newRow("empty paragraph left alone") << 1 << QTestEventList() << false;
}

void TestEditing::changes()
{
    QFETCH(int, row);
    QFETCH(QTestEventList, keys);
    start();
    ClickEntry(*window_, row);
    QVERIFY(!Editor(*window_)->isReadOnly());
    keys.simulate(Editor(*window_));
    QTEST(Button(*window_, "cmdSave")->isEnabled(), "saveEnabled");
    QCOMPARE(window_->CurrentPara(), row + 1);
}

void TestEditing::selectingLeavesUnusualTextsAlone_data()
{
    QTest::addColumn<QByteArray>("localCopy");
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << QByteArray("a\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QStringLiteral("a\rb");
    QTest::newRow("lone LF") << QByteArray("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("LF CR") << QByteArray("a\n\rb") << QStringLiteral("a\n\rb");
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << QStringLiteral("a") + QChar(0) + u'b';
    QTest::newRow("Ctrl-Z at the end") << QByteArray("a\r\n\x1a") << QStringLiteral("a\r\n\x1a");
    QTest::newRow("tabs") << QByteArray("\ta\t\tb\t") << QStringLiteral("\ta\t\tb\t");
    QTest::newRow("trailing line ends") << QByteArray("a\r\n\r\n") << QStringLiteral("a\r\n\r\n");
    QTest::newRow("no-break space") << QByteArray("a\xa0 b") << QStringLiteral("a\u00a0 b");
}

void TestEditing::selectingLeavesUnusualTextsAlone()
{
    QFETCH(QByteArray, localCopy);
    QFETCH(QString, text);
    start(localCopy);
    ClickEntry(*window_, 2);
    QCOMPARE(Editor(*window_)->text(), text);
    QVERIFY(!Button(*window_, "cmdSave")->isEnabled());
    // Leaving the editor stores its text: the stored text must be the same exactly.
    Click(Button(*window_, "cmdInfo"));
    QCOMPARE(window_->Paragraphs().at(2).ParaText, text);
    ClickEntry(*window_, 2);
    QVERIFY(!Button(*window_, "cmdSave")->isEnabled());
}

void TestEditing::editedLineEndsBecomeCrLf()
{
    start("one\ntwo\rthree");
    ClickEntry(*window_, 2);
    QTest::keyClick(Editor(*window_), Qt::Key_End);
    QTest::keyClick(Editor(*window_), Qt::Key_Return);
    QCOMPARE(Editor(*window_)->text(), u"one\r\n\r\ntwo\r\nthree");
}

void TestEditing::editsSurviveSelectingAnother()
{
    start();
    ClickEntry(*window_, 0);
    QTest::keyClicks(Editor(*window_), QStringLiteral("Fresh "));
    ClickEntry(*window_, 1);
    QCOMPARE(window_->CurrentPara(), 2);
    QCOMPARE(Editor(*window_)->text(), QString());
    ClickEntry(*window_, 0);
    QCOMPARE(Editor(*window_)->text(), u"Fresh hello\r\nworld");
    QCOMPARE(window_->Paragraphs().at(0).ParaText, u"Fresh hello\r\nworld");
    QVERIFY(Button(*window_, "cmdSave")->isEnabled());
}

void TestEditing::userCannotClearTheSelection_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Ctrl+click") << false;
    QTest::newRow("Ctrl+Space") << true;
}

void TestEditing::userCannotClearTheSelection()
{
    QFETCH(bool, byKey);
    start();
    ClickEntry(*window_, 0);
    QListWidget *list = ParaList(*window_);
    if (byKey) {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    } else {
        const QPoint entry = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry);
    }
    QCOMPARE(list->selectedItems().size(), 1);
    QTest::mouseClick(Editor(*window_)->viewport(), Qt::LeftButton);
    QTest::keyClicks(Editor(*window_), QStringLiteral("Kept "));
    ClickEntry(*window_, 1);
    QVERIFY(window_->Paragraphs().at(0).ParaText.contains(u"Kept "));
    QVERIFY(Button(*window_, "cmdSave")->isEnabled());
}

void TestEditing::infoPageKeepsEditsAndNeverBecomesText()
{
    start();
    ClickEntry(*window_, 0);
    QTest::keyClicks(Editor(*window_), QStringLiteral("New "));
    Click(Button(*window_, "cmdInfo"));
    QCOMPARE(window_->CurrentPara(), 0);
    QVERIFY(ParaList(*window_)->selectedItems().isEmpty());
    QVERIFY(Editor(*window_)->isReadOnly());
    QVERIFY(Editor(*window_)->text().startsWith(u"VELLUMET INFORMATION\r\n"));
    QCOMPARE(window_->Paragraphs().at(0).ParaText, u"New hello\r\nworld");
    QVERIFY(Button(*window_, "cmdSave")->isEnabled());
    // Typing into the page changes nothing.
    const QString page = Editor(*window_)->text();
    QTest::keyClicks(Editor(*window_), QStringLiteral("zz"));
    QCOMPARE(Editor(*window_)->text(), page);
    for (const Paragraph &para : window_->Paragraphs())
        QVERIFY(!para.ParaText.contains(u"VELLUMET"));
}

void TestEditing::saveHoldsTheWindowUntilTheRunEnds()
{
    start();
    server_->holdLogins();
    ClickEntry(*window_, 0);
    QTest::keyClicks(Editor(*window_), QStringLiteral("x"));
    QTest::keyClick(Editor(*window_), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(Editor(*window_), Qt::Key_Return);
    Click(Button(*window_, "cmdSave"));

    QVERIFY(window_->IsPublishing());
    QTRY_COMPARE(Editor(*window_)->text(),
                 u"Saving local copy\r\nConnecting to Server ftp.example.com");
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    for (const char *name : {"cmdSave", "cmdInfo", "cmdExit"})
        QVERIFY2(!Button(*window_, name)->isEnabled(), name);
    ClickEntry(*window_, 1);
    QCOMPARE(window_->CurrentPara(), 0);
    QVERIFY(ParaList(*window_)->selectedItems().isEmpty());
    QVERIFY(!window_->close());
    QVERIFY(window_->isVisible());
    QCOMPARE(questions_.saveQuestions, 0);

    server_->releaseLogins();
    QTRY_VERIFY(!window_->IsPublishing());
    const QString log = Editor(*window_)->text();
    QVERIFY2(log.startsWith(u"Saving local copy\r\n") && log.endsWith(u"\r\nFinished"),
             qPrintable(log));
    QVERIFY(Editor(*window_)->isReadOnly());
    QCOMPARE(window_->CurrentPara(), 0);
    QVERIFY(!Button(*window_, "cmdSave")->isEnabled());
    QVERIFY(Button(*window_, "cmdInfo")->isEnabled());
    QVERIFY(Button(*window_, "cmdExit")->isEnabled());
    QVERIFY(ParaList(*window_)->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    // The texts as saved: trimmed, in the catalogue and in the local copies, never the log.
    QCOMPARE(window_->Paragraphs().at(0).ParaText, u"xhello\r\nworld");
    QCOMPARE(site_->readFile(QStringLiteral("intro.txt")), "xhello\r\nworld");
    QVERIFY(site_->hasFile(QStringLiteral("hours.txt")));
    QCOMPARE(server_->uploads().value(QStringLiteral("index.html")), "<p>xhello<br>world</p>");

    QTest::keyClicks(Editor(*window_), QStringLiteral("y"));
    QCOMPARE(Editor(*window_)->text(), log);
    // The log can be selected and copied with the keyboard.
    QTest::mouseClick(Editor(*window_)->viewport(), Qt::LeftButton);
    QTest::keyClick(Editor(*window_), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(Editor(*window_), Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(Editor(*window_), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"d");
    QTest::keyClick(Editor(*window_), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Editor(*window_), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString(log).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ClickEntry(*window_, 0);
    QTest::keyClicks(Editor(*window_), QStringLiteral("y"));
    QVERIFY(Button(*window_, "cmdSave")->isEnabled());
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"

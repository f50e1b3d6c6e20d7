#include "UiTestSupport.h"

#include "ui/PlainTextEditor.h"
#include "ui/TerminationSignals.h"

#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <QElapsedTimer>

#include <csignal>
#include <sys/stat.h>

// Start-up, closing with and without unsaved changes, and the system's own close.
class TestLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { UseTestSettings(); }
    void init();
    void cleanup();
    void startUp();
    void captionWithoutTitle();
    void missingSiteDefinition_data();
    void missingSiteDefinition();
    void bigValuesStartAsQuicklyAsSmallOnes();
    void closeWithoutChanges_data();
    void closeWithoutChanges();
    void closeWithChanges_data();
    void closeWithChanges();
    void cancelThenSavePublishesTheCatalogue();
    void unsavedLocalCopyKeepsTheWindowOpen();
    void maximizedCloseStoresNothing();
    void terminationSignalSavesLocalCopies();

private:
    void edit();
    void requestClose(bool byExitButton);

    std::unique_ptr<TestSite> site_;
    std::unique_ptr<FakeServer> server_;
    std::unique_ptr<FakeQuestions> questions_;
    std::unique_ptr<frmMain> window_;
};

void TestLifecycle::init()
{
    UseTestSettings();
    site_ = std::make_unique<TestSite>();
    server_ = std::make_unique<FakeServer>();
    questions_ = std::make_unique<FakeQuestions>();
    site_->writeDefinition("TITLE=Corner Bakery\r\nSERVER=ftp.example.com\r\n"
                           "PAGE=index.tpl,index.html\r\n"
                           "PARAGRAPH=intro,Introduction\r\nPARAGRAPH=opening_hours\r\n");
    site_->writeFile(QStringLiteral("intro.txt"), "hello");
}

void TestLifecycle::cleanup()
{
    QTRY_VERIFY(!window_ || !window_->IsPublishing());
    window_.reset();
}

// Types into the first paragraph and leaves the focus in the editor, so that nothing
// but the close itself can store the text.
void TestLifecycle::edit()
{
    window_ = StartWindow(*site_, *questions_, *server_);
    ClickEntry(*window_, 0);
    QTest::keyClicks(Editor(*window_), QStringLiteral("Fresh "));
    QVERIFY(Editor(*window_)->hasFocus());
    QVERIFY(Button(*window_, "cmdSave")->isEnabled());
}

void TestLifecycle::requestClose(bool byExitButton)
{
    if (byExitButton)
        Click(Button(*window_, "cmdExit"));
    else
        window_->close(); // as the title bar's close button does
}

void TestLifecycle::startUp()
{
    window_ = StartWindow(*site_, *questions_, *server_);
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->windowTitle(), u"Vellumet - Corner Bakery");
    QListWidget *list = ParaList(*window_);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), u"Introduction");
    QCOMPARE(list->item(1)->text(), u"opening hours");
    QCOMPARE(list->item(0)->data(Qt::UserRole).toInt(), 1);
    QCOMPARE(list->item(1)->data(Qt::UserRole).toInt(), 2);
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(window_->Paragraphs().at(0).ParaText, u"hello");
    QCOMPARE(window_->CurrentPara(), 0);
    QVERIFY(Editor(*window_)->isReadOnly());
    QVERIFY(Editor(*window_)->text().startsWith(u"VELLUMET INFORMATION\r\n"));
    QVERIFY(Editor(*window_)->text().contains(u"\r\nintro - Introduction\r\n"));
    QVERIFY(!Button(*window_, "cmdSave")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), Button(*window_, "cmdInfo"));
}

void TestLifecycle::captionWithoutTitle()
{
    site_->writeDefinition("PARAGRAPH=intro");
    window_ = StartWindow(*site_, *questions_, *server_);
    QCOMPARE(window_->windowTitle(), u"Vellumet");
}

void TestLifecycle::missingSiteDefinition_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QString() << QStringLiteral("does not exist");
    QTest::newRow("FIFO") << QStringLiteral("fifo") << QStringLiteral("not a regular file");
    QTest::newRow("link to /dev/zero") << QStringLiteral("zero") << QStringLiteral("not a regular");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("folder");
}

void TestLifecycle::missingSiteDefinition()
{
    QFETCH(QString, kind);
    const QString ini = site_->folder() + QStringLiteral("/vellumet.ini");
    QFile::remove(ini);
    if (kind == u"fifo")
        QCOMPARE(mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
    else if (kind == u"zero")
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), ini));
    else if (kind == u"folder")
        QVERIFY(QDir().mkdir(ini));
    QSettings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet"))
        .setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("42"));
    frmMain window(site_->folder(), server_->clients(), *questions_);
    QVERIFY(!window.Load());
    QCOMPARE(questions_->missingReports, 1);
    QFETCH(QString, reason);
    QVERIFY2(questions_->reason.contains(reason), qPrintable(questions_->reason));
    QVERIFY(!window.isVisible());
    QCOMPARE(StoredPlacementKeys(), QStringList{QStringLiteral("MainLeft")});
    QCOMPARE(QSettings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet"))
                 .value(QStringLiteral("Settings/MainLeft")),
             QStringLiteral("42"));
}

// Values are read whole, but showing 50 MB in the caption or the information page took
// minutes: what is shown is shortened.
void TestLifecycle::bigValuesStartAsQuicklyAsSmallOnes()
{
    const auto startTime = [this](const QByteArray &ini) {
        site_->writeDefinition(ini);
        QElapsedTimer timer;
        timer.start();
        window_ = StartWindow(*site_, *questions_, *server_);
        return timer.elapsed();
    };
    const qint64 small = startTime("TITLE=Corner Bakery\r\nPHONE=01234\r\nPARAGRAPH=intro");
    const QByteArray big(50'000'000, 'x');
    for (const QByteArray key : {"TITLE", "PHONE"}) {
        const qint64 took = startTime(key + '=' + big + "\r\nPARAGRAPH=intro");
        qInfo("%s of 50 MB: %lld ms, small file: %lld ms", key.constData(), took, small);
        QVERIFY2(took < 20 * small + 4000, key.constData());
        QVERIFY(Editor(*window_)->text().size() < 5000);
        if (key == "TITLE")
            QCOMPARE(window_->windowTitle(),
                     QStringLiteral("Vellumet - %1...").arg(QString(1000, u'x')));
    }
    QVERIFY(Editor(*window_)->text().contains(
        QStringLiteral("Phone:     %1...\r\n").arg(QString(1000, u'x'))));
}

void TestLifecycle::closeWithoutChanges_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("title bar") << false;
    QTest::newRow("Exit button") << true;
}

void TestLifecycle::closeWithoutChanges()
{
    QFETCH(bool, byExitButton);
    window_ = StartWindow(*site_, *questions_, *server_);
    ClickEntry(*window_, 0); // a paragraph shown but not changed asks nothing either
    requestClose(byExitButton);
    QVERIFY(!window_->isVisible());
    QCOMPARE(questions_->saveQuestions, 0);
    QCOMPARE(StoredPlacementKeys().size(), 4);
}

void TestLifecycle::closeWithChanges_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::addColumn<UserQuestions::SaveAnswer>("answer");
    using A = UserQuestions::SaveAnswer;
    for (bool byExit : {false, true}) {
        const char *origin = byExit ? "Exit button" : "title bar";
        QTest::addRow("%s, Cancel", origin) << byExit << A::Cancel;
        QTest::addRow("%s, No", origin) << byExit << A::No;
        QTest::addRow("%s, Yes", origin) << byExit << A::Yes;
    }
}

void TestLifecycle::closeWithChanges()
{
    QFETCH(bool, byExitButton);
    QFETCH(UserQuestions::SaveAnswer, answer);
    using A = UserQuestions::SaveAnswer;
    edit();
    questions_->answer = answer;
    bool clearedWhileAsking = false;
    questions_->whileAsking = [&] {
        clearedWhileAsking = window_->CurrentPara() == 0 && Editor(*window_)->text().isEmpty() &&
                             Editor(*window_)->isReadOnly() &&
                             ParaList(*window_)->selectedItems().isEmpty();
    };
    requestClose(byExitButton);
    QCOMPARE(questions_->saveQuestions, 1);
    QVERIFY(clearedWhileAsking);
    // What was typed is kept whatever the answer, though the editor never lost the focus.
    QCOMPARE(window_->Paragraphs().at(0).ParaText, u"Fresh hello");

    if (answer == A::Cancel) {
        QVERIFY(window_->isVisible());
        QVERIFY(Button(*window_, "cmdSave")->isEnabled());
        QCOMPARE(site_->readFile(QStringLiteral("intro.txt")), "hello");
        QVERIFY(StoredPlacementKeys().isEmpty());
        return;
    }
    if (answer == A::No) {
        QVERIFY(!window_->isVisible());
        QCOMPARE(site_->readFile(QStringLiteral("intro.txt")), "hello");
        QVERIFY(!site_->hasFile(QStringLiteral("opening_hours.txt")));
        QCOMPARE(server_->logins(), 0);
        QCOMPARE(StoredPlacementKeys().size(), 4);
        return;
    }
    // Yes: the window closes by itself once the run has ended, asking nothing more.
    QTRY_VERIFY(!window_->isVisible());
    QCOMPARE(questions_->saveQuestions, 1);
    QVERIFY(Editor(*window_)->text().endsWith(u"\r\nFinished"));
    QCOMPARE(site_->readFile(QStringLiteral("intro.txt")), "Fresh hello");
    QCOMPARE(server_->uploads().value(QStringLiteral("index.html")), "<p>Fresh hello</p>");
    QCOMPARE(StoredPlacementKeys().size(), 4);
}

void TestLifecycle::cancelThenSavePublishesTheCatalogue()
{
    edit();
    questions_->answer = UserQuestions::SaveAnswer::Cancel;
    window_->close();
    QVERIFY(window_->isVisible());
    Click(Button(*window_, "cmdSave"));
    QTRY_VERIFY(!window_->IsPublishing());
    QCOMPARE(site_->readFile(QStringLiteral("intro.txt")), "Fresh hello");
    // Nothing left to save: the next close asks nothing.
    window_->close();
    QVERIFY(!window_->isVisible());
    QCOMPARE(questions_->saveQuestions, 1);
}

// A text that could not be written to its local copy exists only in the window: Yes
// must not close it away, and Save must still say that something is unsaved.
void TestLifecycle::unsavedLocalCopyKeepsTheWindowOpen()
{
    QFile::remove(QDir(site_->folder()).filePath(QStringLiteral("intro.txt")));
    QVERIFY(QDir(site_->folder()).mkdir(QStringLiteral("intro.txt"))); // unwritable, even as root
    edit();
    questions_->answer = UserQuestions::SaveAnswer::Yes;
    window_->close();
    QTRY_VERIFY(!window_->IsPublishing());
    QVERIFY(window_->isVisible());
    QVERIFY(Editor(*window_)->text().contains(u"ERROR Failed to Save Local Copy intro.txt"));
    QVERIFY(Button(*window_, "cmdSave")->isEnabled());
    QCOMPARE(window_->Paragraphs().at(0).ParaText, u"Fresh ");

    questions_->answer = UserQuestions::SaveAnswer::Cancel;
    window_->close();
    QCOMPARE(questions_->saveQuestions, 2);
    QVERIFY(window_->isVisible());
}

void TestLifecycle::maximizedCloseStoresNothing()
{
    window_ = StartWindow(*site_, *questions_, *server_);
    window_->showMaximized();
    QTRY_VERIFY(window_->isMaximized());
    window_->close();
    QVERIFY(!window_->isVisible());
    QVERIFY(StoredPlacementKeys().isEmpty());
}

void TestLifecycle::terminationSignalSavesLocalCopies()
{
    edit();
    TerminationSignals terminations;
    QVERIFY(terminations.isInstalled());
    connect(&terminations, &TerminationSignals::received, window_.get(), &frmMain::CloseForSystem);
    ::raise(SIGTERM);
    QTRY_VERIFY(!window_->isVisible());
    QCOMPARE(questions_->saveQuestions, 0);
    QCOMPARE(site_->readFile(QStringLiteral("intro.txt")), "Fresh hello");
    QVERIFY(site_->hasFile(QStringLiteral("opening_hours.txt")));
    QCOMPARE(server_->logins(), 0);
    QCOMPARE(StoredPlacementKeys().size(), 4);
}

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"

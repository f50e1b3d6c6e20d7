#include "UiTestSupport.h"

#include "site/History.h"
#include "ui/EarlierTextsDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTestEventList>

using namespace vellumet;

// Selecting, editing and saving paragraphs as a user does it: clicks and keys.
class TestEditing : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSite> site;

private slots:
    void init()
    {
        site = std::make_unique<TestSite>();
        site->write("vellumet.ini", site->read("vellumet.ini") + "\rPARAGRAPH=odd,Odd");
    }
    void cleanup() { QTRY_VERIFY(!site->w || !site->w->isPublishing()); }
    void typing_data()
    {
        QTest::addColumn<QByteArray>("odd"); // the third paragraph's local copy
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("keys"); // "<" is Backspace, "^" Return, "~" End, "}" Shift+Right
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("saveEnabled");
        const auto row = [](const char *name, QByteArray odd, int row, const char *keys,
                            QString text, bool save) {
            QTest::newRow(name) << odd << row << QString::fromLatin1(keys) << text << save;
        };
        row("nothing typed", "", 0, "", "hello\r\nworld", false);
        row("one character", "", 0, "x", "xhello\r\nworld", true);
        row("typed and deleted", "", 0, "x<", "hello\r\nworld", true);
        row("letter case only", "", 0, "}H", "Hello\r\nworld", true);
        row("empty paragraph", "", 1, "9 to 5", "9 to 5", true);
        row("edited line ends become CR LF", "one\ntwo\rthree", 2, "~^", "one\r\n\r\ntwo\r\nthree",
            true);
        for (const char *odd : {"a\rb", "a\nb", "a\n\rb", "\ta\t\tb\t", "a\r\n\x1a", "a\r\n\r\n"})
            row(odd, odd, 2, "", QString::fromLatin1(odd), false);
        row("NUL", QByteArray("a\0b", 3), 2, "", QStringLiteral("a") + QChar(0) + u'b', false);
        row("no-break space", "a\xa0 b", 2, "", QStringLiteral("a\u00a0 b"), false);
    }
    void typing()
    {
        QFETCH(QByteArray, odd);
        QFETCH(int, row);
        QFETCH(QString, keys);
        site->write("odd.txt", odd);
        QVERIFY(site->start());
        site->click(row);
        QCOMPARE(site->w->currentPara(), row + 1);
        QVERIFY(!site->editor->isReadOnly() && site->editor->hasFocus());
        const QMap<QChar, std::pair<Qt::Key, Qt::KeyboardModifier>> special{
            {u'<', {Qt::Key_Backspace, Qt::NoModifier}},
            {u'^', {Qt::Key_Return, Qt::NoModifier}},
            {u'~', {Qt::Key_End, Qt::NoModifier}},
            {u'}', {Qt::Key_Right, Qt::ShiftModifier}}};
        for (QChar c : keys)
            if (special.contains(c))
                QTest::keyClick(site->editor, special[c].first, special[c].second);
            else
                QTest::keyClicks(site->editor, c);
        QTEST(site->save->isEnabled(), "saveEnabled");
        QTEST(site->editor->text(), "text");
        // Leaving the editor stores exactly its text; showing it again is no change.
        QTest::mouseClick(site->info, Qt::LeftButton);
        QTEST(site->w->paragraphs().at(row).text, "text");
        site->click(row);
        QTEST(site->save->isEnabled(), "saveEnabled");
    }
    void editsStayWithTheirParagraph_data()
    {
        QTest::addColumn<int>("userClear"); // how the user tries to empty the selection
        QTest::newRow("no try") << 0;
        QTest::newRow("Ctrl+click") << 1;
        QTest::newRow("Ctrl+Space") << 2;
    }
    void editsStayWithTheirParagraph()
    {
        QFETCH(int, userClear);
        QVERIFY(site->start());
        site->click(0);
        if (userClear == 1)
            site->click(0, Qt::ControlModifier);
        if (userClear == 2)
            QTest::keyClick((site->list->setFocus(), site->list), Qt::Key_Space,
                            Qt::ControlModifier);
        QCOMPARE(site->list->selectedItems().size(), 1);
        QTest::mouseClick(site->editor->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::keyClicks(site->editor, QStringLiteral("Fresh "));
        site->click(1);
        QCOMPARE(site->editor->text(), QString());
        site->click(0);
        QCOMPARE(site->editor->text(), u"Fresh hello\r\nworld");
        QVERIFY(site->save->isEnabled());
        // The information page is read-only and never becomes a paragraph's text.
        QTest::mouseClick(site->info, Qt::LeftButton);
        QVERIFY(site->w->currentPara() == 0 && site->list->selectedItems().isEmpty());
        QTest::keyClicks(site->editor, QStringLiteral("zz"));
        QVERIFY(site->editor->isReadOnly() && site->editor->text().startsWith(u"VELLUMET INFO"));
        QCOMPARE(site->w->paragraphs().at(0).text, u"Fresh hello\r\nworld");
    }
    void saveHoldsTheWindowUntilTheRunEnds()
    {
        QVERIFY(site->start());
        site->fakes.gate.acquire();
        site->click(0);
        QTest::keyClicks(site->editor, QStringLiteral("x"));
        QTest::keyClick(site->editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(site->editor, Qt::Key_Return);
        QTest::mouseClick(site->save, Qt::LeftButton);
        QTRY_COMPARE(site->editor->text(),
                     u"Saving local copy\r\nConnecting to Server ftp.example.com");
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QVERIFY(!site->save->isEnabled() && !site->info->isEnabled() && !site->exit->isEnabled());
        site->click(1);
        QVERIFY(!site->w->close() && site->list->selectedItems().isEmpty());
        site->fakes.gate.release();
        QTRY_VERIFY(!site->w->isPublishing());
        const QString log = site->editor->text();
        QVERIFY2(log.endsWith(u"\r\nFinished") && !log.contains(u"ERROR"), qPrintable(log));
        QVERIFY(site->editor->isReadOnly() && site->info->isEnabled() && site->exit->isEnabled());
        QVERIFY(!site->save->isEnabled() && !QApplication::overrideCursor() &&
                site->fakes.asked == 0);
        // Saved trimmed, and never the log.
        QCOMPARE(site->w->paragraphs().at(0).text, u"xhello\r\nworld");
        QCOMPARE(site->read("intro.txt"), "xhello\r\nworld");
        QCOMPARE(site->read("odd.txt"), "");
        QCOMPARE(site->fakes.uploads.value("index.html"), "<p>xhello<br>world</p>");
        // The read-only log can be selected and copied with the keyboard.
        QTest::mouseClick(site->editor->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::keyClicks(site->editor, QStringLiteral("y"));
        QTest::keyClick(site->editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(site->editor, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(site->editor, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"d");
        QTest::keyClick(site->editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(site->editor, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(log).replace("\r\n", "\n"));
        QCOMPARE(site->editor->text(), log);
    }
    // Three saves keep two earlier texts; a restored one is an edit like any other.
    void earlierTexts()
    {
        QVERIFY(site->start());
        auto *menu = site->w->findChild<QMenu *>("mnuPara");
        const auto rightClick = [&] { // the press selects, the menu comes after it
            const QPoint hours = site->list->visualItemRect(site->list->item(1)).center();
            QTest::mouseClick(site->list->viewport(), Qt::RightButton, {}, hours);
            QContextMenuEvent event(QContextMenuEvent::Mouse, hours,
                                    site->list->viewport()->mapToGlobal(hours));
            QApplication::sendEvent(site->list->viewport(), &event);
        };
        for (const char *text : {"one", "two", "three"}) {
            rightClick();
            QTRY_VERIFY(menu->isVisible());
            QCOMPARE(menu->actions()[0]->isEnabled(), text == std::string_view("three"));
            menu->close();
            site->editor->setText(QString::fromLatin1(text));
            QTest::mouseClick(site->save, Qt::LeftButton);
            QTRY_VERIFY(!site->w->isPublishing());
        }
        rightClick();
        QTRY_VERIFY(menu->isVisible());
        menu->actions()[0]->trigger();
        auto *dialog = site->w->findChild<EarlierTextsDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *versions = dialog->findChild<QListWidget *>("lstVersions");
        QCOMPARE(versions->count(), 2);
        QVERIFY(versions->item(0)->text().endsWith(u"  two"));
        versions->setCurrentRow(1);
        QCOMPARE(dialog->findChild<QPlainTextEdit *>("txtVersion")->toPlainText(), u"one");
        QTest::mouseClick(dialog->findChild<QPushButton *>("cmdRestore"), Qt::LeftButton);
        QVERIFY(site->editor->text() == u"one" && site->save->isEnabled());
        QCOMPARE(site->read("opening_hours.txt"), "three");
        QTest::mouseClick(site->save, Qt::LeftButton);
        QTRY_VERIFY(!site->w->isPublishing());
        QCOMPARE(site->read("opening_hours.txt"), "one");
        QCOMPARE(vellumet::earlierTexts(site->dir.path(), "opening_hours").first().text, u"three");
    }
    void preview_data()
    {
        QTest::addColumn<QByteArray>("website");
        QTest::addColumn<QString>("indexBase");
        QTest::addColumn<QString>("newsBase");
        QTest::newRow("no address") << QByteArray() << QString() << QString();
        QTest::newRow("live address") << QByteArray("\rWEBSITE=https://example.com/a&b")
                                      << "<base href=\"https://example.com/a&amp;b/\">"
                                      << "<base href=\"https://example.com/a&amp;b/pub/news/\">";
    }
    // Both pages that mark the paragraph, with what is typed but not saved; one source
    // is the last run's, one is fetched. Nothing is written anywhere else.
    void preview()
    {
        QFETCH(QByteArray, website);
        QFETCH(QString, indexBase);
        QFETCH(QString, newsBase);
        site->write("vellumet.ini",
                    site->read("vellumet.ini") + "\rPAGE=news.tpl,news.html,/pub/news" + website);
        site->write("index.tpl", "<HTML><Head lang=en><title>@{odd}@</title></head>@{intro}@");
        const auto readTestFile = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
        };
        const auto folder = [&] {
            QMap<QString, QByteArray> files;
            for (QDirIterator it(site->dir.path(), QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();)
                files[it.next()] = readTestFile(it.filePath());
            return files;
        };
        QVERIFY(site->start());
        const QMap<QString, QByteArray> before = folder();
        site->click(0);
        QTest::keyClicks(site->editor, QStringLiteral("Fresh "));
        QTest::keyClick((site->list->setFocus(), site->list), Qt::Key_F10, Qt::ShiftModifier);
        auto *menu = site->w->findChild<QMenu *>("mnuPara");
        QTRY_VERIFY(menu->isVisible());
        menu->actions()[1]->trigger();
        QTRY_COMPARE(site->fakes.opened.size(), 2);
        QCOMPARE(readTestFile(site->fakes.opened[0].toLocalFile()),
                 "<HTML><Head lang=en>" + indexBase.toUtf8() +
                     "<title></title></head>Fresh hello<br>world");
        QCOMPARE(readTestFile(site->fakes.opened[1].toLocalFile()),
                 newsBase.toUtf8() + "<p>Fresh hello<br>world</p>");
        QVERIFY(site->fakes.reasons.isEmpty() && site->fakes.uploads.isEmpty());
        QCOMPARE(folder(), before);
        QVERIFY(site->save->isEnabled());
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"

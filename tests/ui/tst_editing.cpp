#include "UiTestSupport.h"

#include "site/History.h"
#include "ui/EarlierTextsDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QPlainTextEdit>

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
        // odd: the third paragraph's local copy; keys: "<" Backspace, "^" Return, "~" End,
        // "!" Ctrl+click on the row, "#" Ctrl+Space on the list, "@" a click into the editor
        columns<QByteArray, int, QString, QString, bool>("odd", "row", "keys", "text", "save");
        row("typed and deleted", ""_ba, 0, "x<", "hello\r\nworld", true);
        row("edited line ends become CR LF", "one\ntwo\rthree"_ba, 2, "~^",
            "one\r\n\r\ntwo\r\nthree", true);
        row("LF CR kept", "a\n\rb"_ba, 2, "", "a\n\rb", false);
        row("NUL kept", "a\0b"_ba, 2, "", u"a"_s + QChar(0) + u'b', false);
        // The user cannot empty the selection and leave the editor to no paragraph.
        row("Ctrl+click on the selected entry", ""_ba, 0, "!@Fresh ", "Fresh hello\r\nworld", true);
        row("Ctrl+Space on the selected entry", ""_ba, 0, "#@Fresh ", "Fresh hello\r\nworld", true);
    }
    void typing()
    {
        const auto [odd, row, keys] = fetch<QByteArray, int, QString>("odd", "row", "keys");
        site->write("odd.txt", odd);
        QVERIFY(site->start());
        site->click(row);
        QCOMPARE(site->w->currentPara(), row + 1);
        QVERIFY(!site->editor->isReadOnly() && site->editor->hasFocus());
        const QMap<QChar, Qt::Key> special{
            {u'<', Qt::Key_Backspace}, {u'^', Qt::Key_Return}, {u'~', Qt::Key_End}};
        for (QChar c : keys)
            if (c == u'!')
                site->click(row, Qt::ControlModifier);
            else if (c == u'#')
                QTest::keyClick((site->list->setFocus(), site->list), Qt::Key_Space,
                                Qt::ControlModifier);
            else if (c == u'@')
                QTest::mouseClick(site->editor->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
            else
                special.contains(c) ? QTest::keyClick(site->editor, special[c])
                                    : QTest::keyClicks(site->editor, c);
        QCOMPARE(site->list->selectedItems().size(), 1);
        QTEST(site->save->isEnabled(), "save");
        QTEST(site->editor->text(), "text");
        site->click(row ? 0 : 1);
        QTEST(site->w->paragraphs().at(row).text, "text");
        // The information page is read-only and never becomes a paragraph's text.
        QTest::mouseClick(site->info, Qt::LeftButton);
        QVERIFY(site->w->currentPara() == 0 && site->list->selectedItems().isEmpty());
        QTest::keyClicks(site->editor, u"zz"_s);
        QVERIFY(site->editor->isReadOnly() && site->editor->text().startsWith(u"VELLUMET INFO"));
        site->click(row); // showing it again is no change
        QTEST(site->editor->text(), "text");
        QTEST(site->save->isEnabled(), "save");
    }
    void saveHoldsTheWindowUntilTheRunEnds()
    {
        QVERIFY(site->start());
        site->server.holdLogins();
        site->click(0);
        QTest::keyClicks(site->editor, u"x"_s);
        QTest::keySequence(site->editor, QKeySequence(u"Ctrl+End, Return"_s));
        QTest::mouseClick(site->save, Qt::LeftButton);
        QTRY_COMPARE(site->editor->text(),
                     u"Saving local copy\r\nConnecting to Server ftp.example.com");
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QVERIFY(!site->save->isEnabled() && !site->info->isEnabled() && !site->exit->isEnabled());
        site->click(1);
        QVERIFY(!site->w->close() && site->list->selectedItems().isEmpty());
        site->server.releaseLogins();
        QTRY_VERIFY(!site->w->isPublishing());
        const QString log = site->editor->text();
        QVERIFY2(log.endsWith(u"\r\nFinished") && !log.contains(u"ERROR"), qPrintable(log));
        QVERIFY(site->editor->isReadOnly() && site->info->isEnabled() && site->exit->isEnabled() &&
                !site->save->isEnabled() && !QApplication::overrideCursor() && !site->fakes.asked);
        QCOMPARE(site->w->paragraphs().at(0).text, u"xhello\r\nworld");
        QCOMPARE(site->read("intro.txt"), "xhello\r\nworld");
        QCOMPARE(site->read("odd.txt"), "");
        QCOMPARE(site->server.uploads().value("index.html"), "<p>xhello<br>world</p>");
        QTest::mouseClick(site->editor->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::keyClicks(site->editor, u"y"_s);
        QTest::keySequence(site->editor, QKeySequence(u"Ctrl+End, Shift+Left, Ctrl+C"_s));
        QCOMPARE(QGuiApplication::clipboard()->text(), u"d");
        QTest::keySequence(site->editor, QKeySequence(u"Ctrl+A, Ctrl+C"_s));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(log).replace("\r\n", "\n"));
        QCOMPARE(site->editor->text(), log);
    }
    // Three saves keep two earlier texts; a restored one is an edit like any other.
    void earlierTexts()
    {
        QVERIFY(site->start());
        QMenu *menu = site->menu();
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
            site->publish();
        }
        rightClick();
        QTRY_VERIFY(menu->isVisible());
        menu->actions()[0]->trigger();
        auto *dialog = site->w->findChild<EarlierTextsDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *versions = dialog->findChild<QListWidget *>("lstVersions");
        QVERIFY(versions->count() == 2 && versions->item(0)->text().endsWith(u"  two"));
        versions->setCurrentRow(1);
        QCOMPARE(dialog->findChild<QPlainTextEdit *>("txtVersion")->toPlainText(), u"one");
        QTest::mouseClick(dialog->findChild<QPushButton *>("cmdRestore"), Qt::LeftButton);
        QVERIFY(site->editor->text() == u"one" && site->save->isEnabled());
        QCOMPARE(site->read("opening_hours.txt"), "three");
        site->publish();
        QCOMPARE(site->read("opening_hours.txt"), "one");
        QCOMPARE(vellumet::earlierTexts(site->dir.path(), "opening_hours").first().text, u"three");
    }
    void preview_data()
    {
        columns<QByteArray, QString, QString>("website", "indexBase", "newsBase");
        row("no address", QByteArray(), "", "");
        row("live address", "\rWEBSITE=https://example.com/a&b"_ba,
            "<base href=\"https://example.com/a&amp;b/\">",
            "<base href=\"https://example.com/a&amp;b/pub/news/\">");
    }
    // Both pages of the paragraph, with unsaved typing (one source kept, one fetched), no more.
    void preview()
    {
        const auto [website, indexBase, newsBase] =
            fetch<QByteArray, QString, QString>("website", "indexBase", "newsBase");
        site->write("vellumet.ini",
                    site->read("vellumet.ini") + "\rPAGE=news.tpl,news.html,/pub/news" + website);
        site->write("index.tpl", "<HTML><Head lang=en><title>@{odd}@</title></head>@{intro}@");
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
        QTest::keyClicks(site->editor, u"Fresh "_s);
        QTest::keyClick((site->list->setFocus(), site->list), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(site->menu()->isVisible());
        site->menu()->actions()[1]->trigger();
        QTRY_COMPARE(site->fakes.opened.size(), 2);
        QCOMPARE(readTestFile(site->fakes.opened[0].toLocalFile()),
                 "<HTML><Head lang=en>" + indexBase.toUtf8() +
                     "<title></title></head>Fresh hello<br>world");
        QCOMPARE(readTestFile(site->fakes.opened[1].toLocalFile()),
                 newsBase.toUtf8() + "<p>Fresh hello<br>world</p>");
        QVERIFY(site->fakes.reasons.isEmpty() && site->server.uploads().isEmpty() &&
                folder() == before && site->save->isEnabled());
    }
    void password_data()
    {
        // line: vellumet.ini's PASSWORD line; typed: the dialog's answer ("" Cancel);
        // refusing: the password the server refuses. Two Saves each.
        columns<QByteArray, QString, bool, QString, bool, QString>("line", "stored", "keyring",
                                                                   "typed", "remember", "refusing");
        columns<int, QString, QString, QString>("asked", "logins", "kept", "error");
        const QString refused = u"ERROR Login incorrect (530) - Failed to connect to Server"_s;
        row("PASSWORD line: store untouched", "\rPASSWORD=l1ne-pw"_ba, "k3pt-pw", true, "", true,
            "l1ne-pw", 0, "l1ne-pw l1ne-pw", "k3pt-pw", refused);
        row("stored one used without asking", ""_ba, "k3pt-pw", true, "", true, "", 0,
            "k3pt-pw k3pt-pw", "k3pt-pw", "");
        row("empty PASSWORD line is none", "\rPASSWORD="_ba, "k3pt-pw", true, "", true, "", 0,
            "k3pt-pw k3pt-pw", "k3pt-pw", "");
        row("asked once, remembered", ""_ba, "", true, "typ3d-pw", true, "", 1, "typ3d-pw typ3d-pw",
            "typ3d-pw", "");
        row("asked once, kept for the session", ""_ba, "", true, "typ3d-pw", false, "", 1,
            "typ3d-pw typ3d-pw", "", "");
        row("Cancel fails as a login", ""_ba, "", true, "", true, "", 2, "", "",
            "ERROR No password was given - Failed to connect to Server");
        row("refused one forgotten", ""_ba, "k3pt-pw", true, "typ3d-pw", true, "k3pt-pw", 1,
            "k3pt-pw typ3d-pw", "typ3d-pw", refused);
        row("no keyring: session only", ""_ba, "", false, "typ3d-pw", true, "", 1,
            "typ3d-pw typ3d-pw", "", "");
    }
    void password()
    {
        const auto [line, stored, keyring, typed, remember, refusing] =
            fetch<QByteArray, QString, bool, QString, bool, QString>(
                "line", "stored", "keyring", "typed", "remember", "refusing");
        site->write("vellumet.ini", "SERVER=ftp.example.com\rLOGIN=baker" + line +
                                        "\rPAGE=index.tpl,index.html\rPARAGRAPH=intro,Intro");
        Fakes &f = site->fakes;
        const QString key = u"ftp.example.com baker"_s;
        if (!stored.isEmpty())
            f.stored[key] = stored;
        f.keyring = keyring;
        if (!typed.isEmpty())
            f.typed = UserQuestions::PasswordAnswer{typed, remember};
        site->server.failing << u"Connect ftp.example.com baker "_s + refusing;
        QVERIFY(site->start());
        QStringList errors;
        for (const QString &letter : {u"x"_s, u"y"_s}) {
            site->click(0);
            QTest::keyClicks(site->editor, letter);
            site->publish();
            errors << site->editor->text().split(u"\r\n"_s).filter(u"ERROR"_s).join(u';');
        }
        QCOMPARE(site->read("intro.txt"), "yxhello\r\nworld");
        QStringList logins;
        for (const QString &call : site->server.calls().filter(QRegularExpression(u"^Connect"_s)))
            logins << call.section(u' ', 3);
        QTEST(logins.join(u' '), "logins");
        QTEST(f.passwordsAsked, "asked");
        QTEST(f.stored.value(key), "kept");
        QTEST(errors.first(), "error");
        QCOMPARE(f.toldNoKeyring, !keyring);
        QTest::mouseClick(site->info, Qt::LeftButton);
        QVERIFY(!site->editor->text().contains(u"-pw"_s));
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"

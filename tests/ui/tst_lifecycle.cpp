#include "UiTestSupport.h"

#include "site/SiteDefinition.h"
#include "ui/InfoPage.h"
#include "ui/LayoutRule.h"
#include "platform/TerminationSignals.h"
#include "ui/Twips.h"
#include "ui/WidestText.h"
#include "ui/WindowPlacement.h"

#include <QApplication>

#include <csignal>

using A = UserQuestions::SaveAnswer;

class TestLifecycle : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSite> site;
    static QRect Px(double left, double top, double width, double height)
    {
        return Twips().toPixels(left, top, width, height);
    }

private slots:
    void init() { site = std::make_unique<TestSite>(); }
    void startUp_data()
    {
        columns<QByteArray, QString, bool>("ini", "caption", "widened");
        const QByteArray big(50'000'000, 'x');
        const QString shortened = QString(1000, u'x') + u"..."_s;
        row("no title", QByteArray(), "Vellumet", false);
        row("50 MB title", "TITLE=" + big, "Vellumet - " + shortened, false);
        row("50 MB phone", "PHONE=" + big, "Vellumet", false);
        // Measured as written: rendered as markup this description would be narrow.
        row("wide description", "PARAGRAPH=wide,Fish &amp; chips <b></b><b></b><b></b><b></b>"_ba,
            "Vellumet", true);
    }
    void startUp()
    {
        const auto [ini, widened] = fetch<QByteArray, bool>("ini", "widened");
        site->write("vellumet.ini",
                    "PARAGRAPH=intro,Introduction\rPARAGRAPH=opening_hours\r" + ini);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(site->start());
        // 50 MB values once took minutes to show; now they start about as quickly.
        static const qint64 small = timer.elapsed();
        QVERIFY2(timer.elapsed() < 20 * small + 4000, qPrintable(QString::number(timer.elapsed())));
        QTEST(site->w->windowTitle(), "caption");
        QCOMPARE(site->list->item(0)->text(), u"Introduction");
        QVERIFY(site->list->selectedItems().isEmpty() && !site->save->isEnabled());
        const QString page = site->editor->text();
        QVERIFY(site->editor->isReadOnly() && page.startsWith(u"VELLUMET INFORMATION\r\n") &&
                page.contains(u"\r\nintro - Introduction\r\n") && page.size() < 5000);
        const QRect list = site->list->geometry(), editor = site->editor->geometry();
        QCOMPARE(list.width() > Px(0, 0, 2415, 0).width(), widened);
        QCOMPARE(editor.left(), list.right() + 1 + Px(0, 0, 120, 0).width());
        QCOMPARE(site->exit->geometry(), Px(1800, 120, 735, 375));
        // The list measures with its own font, and Tab goes round the design's order.
        const QFont font = site->list->font();
        QVERIFY(QFontInfo(font).fixedPitch() && site->editor->font() == font &&
                site->w->findChild<QWidget *>("lblSize")->font() == font);
        site->save->setEnabled(true);
        for (const char *name : {"cmdInfo", "cmdSave", "cmdExit", "lstPara", "rtbEdit"}) {
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }
    void layout_data()
    {
        columns<float, float, QString>("width", "height", "sizes");
        row("too low keeps the list", 6190.f, 600.f, "-|360|3415");
        row("too narrow keeps the editor", 2700.f, 2595.f, "1875|2355|-");
    }
    void layout()
    {
        const auto [width, height] = fetch<float, float>("width", "height");
        const LayoutSizes s = layoutFor({width, height, 600, 2655, 120});
        QStringList sizes;
        for (const std::optional<float> &size : {s.listHeight, s.editorHeight, s.editorWidth})
            sizes << (size ? QString::number(*size) : u"-"_s);
        QTEST(sizes.join(u'|'), "sizes");
    }
    void closing_data()
    {
        // origin: 0 title bar, 1 Exit button, 2 termination signal
        columns<int, bool, A>("origin", "edited", "answer");
        row("title bar, unchanged", 0, false, A::Cancel);
        row("title bar, Cancel, then Save", 0, true, A::Cancel);
        row("Exit, No", 1, true, A::No);
        row("Exit, Yes", 1, true, A::Yes);
        row("termination signal", 2, true, A::Cancel);
    }
    void closing()
    {
        const auto [origin, edited, answer] = fetch<int, bool, A>("origin", "edited", "answer");
        site->fakes.answer = answer;
        QVERIFY(site->start());
        site->click(0);
        if (edited)
            QTest::keyClicks(site->editor, u"Fresh "_s);
        QVERIFY(site->editor->hasFocus()); // only the close itself can store the text
        bool cleared = false;              // while asking
        site->fakes.whileAsking = [&] {
            cleared = site->w->currentPara() == 0 && site->editor->text().isEmpty() &&
                      site->editor->isReadOnly() && site->list->selectedItems().isEmpty();
        };
        TerminationSignals terminations;
        connect(&terminations, &TerminationSignals::received, site->w.get(),
                &MainWindow::closeForSystem);
        const bool asks = edited && origin < 2;
        origin == 2   ? void(::raise(SIGTERM))
        : origin == 1 ? QTest::mouseClick(site->exit, Qt::LeftButton)
                      : void(site->w->close());
        QVERIFY(site->fakes.asked == int(asks) && cleared == asks);
        QTRY_COMPARE(site->w->isVisible(), answer == A::Cancel && asks);
        const QByteArray saved =
            edited && (answer == A::Yes || origin == 2) ? "Fresh hello\r\nworld" : "hello\r\nworld";
        QCOMPARE(site->read("intro.txt"), saved);
        QCOMPARE(site->server.logins(), answer == A::Yes ? 1 : 0);
        QCOMPARE(TestSite::storedKeys(), site->w->isVisible() ? 0 : 4);
        if (site->w->isVisible()) { // Cancel: Save then publishes what was typed
            site->publish();
            QCOMPARE(site->read("intro.txt"), "Fresh hello\r\nworld");
            QVERIFY(site->w->close());
        }
    }
    // A text not in its local copy keeps the window and Save; maximized stores nothing.
    void unsavedLocalCopyKeepsTheWindowOpen()
    {
        QVERIFY(QFile::remove(site->path("intro.txt")) && QDir().mkdir(site->path("intro.txt")));
        site->fakes.answer = A::Yes;
        QVERIFY(site->start());
        site->click(0);
        QTest::keyClicks(site->editor, u"Fresh "_s);
        site->w->showMaximized();
        QVERIFY(!site->w->close());
        QTRY_VERIFY(!site->w->isPublishing());
        QVERIFY(site->w->isVisible() && site->save->isEnabled() &&
                site->editor->text().contains(u"ERROR Failed to Save Local Copy intro.txt"));
        site->fakes.answer = A::No;
        QVERIFY(site->w->close() && site->fakes.asked == 2 && TestSite::storedKeys() == 0);
    }
    // An odd site definition or a held folder is refused untouched; a dead program's lock taken.
    void refusedStart_data()
    {
        // reason: empty when the window starts
        columns<QString, QString>("kind", "reason");
        row("FIFO", "fifo", "not a regular file");
        row("link to /dev/zero", "zero", "is a link");
        row("held by a live program", "held", QString::number(QCoreApplication::applicationPid()));
        row("left by an ended program", "left", "");
    }
    void refusedStart()
    {
        const auto [kind, reason] = fetch<QString, QString>("kind", "reason");
        const QByteArray name = QFile::encodeName(site->path("vellumet.ini"));
        const char *ini = name.constData();
        MainWindow holder(site->dir.path(), {}, site->fakes, site->fakes);
        if (kind == u"held")
            QVERIFY(holder.load());
        else if (kind == u"left")
            site->write(".vellumet.lock", "999999999\nvellumet\n\n");
        else
            QVERIFY(unlink(ini) == 0 &&
                    (kind == u"fifo" ? mkfifo(ini, 0600) : symlink("/dev/zero", ini)) == 0);
        site->write("intro.txt", "typed elsewhere");
        QCOMPARE(site->start(), reason.isEmpty());
        const QString said = site->fakes.reasons.join(u'\n');
        QVERIFY2(reason.isEmpty() ? said.isEmpty()
                                  : site->fakes.reasons.size() == 1 && said.contains(reason) &&
                                        !site->w->isVisible() && TestSite::storedKeys() == 0,
                 qPrintable(said));
        QCOMPARE(site->read("intro.txt"), "typed elsewhere");
    }
    void restore_data()
    {
        // stored: MainLeft, MainTop, MainWidth, MainHeight; placed: on a 1024 x 768 screen
        columns<QString, QRectF>("stored", "placed");
        const QRectF defaults(1536, 1152, 12288, 9216);
        row("bottom past resets all", "0 3000 12000 9000", defaults);
        row("absent, unreadable: defaults", "100 nan 1536px 5000", QRectF(100, 1152, 12288, 5000));
        row("default width no longer fits", "4000 - - -", defaults);
    }
    void restore()
    {
        QFETCH(QString, stored);
        const QStringList v = stored.split(u' ');
        const StoredPlacement p{parsePlacementValue(v[0]), parsePlacementValue(v[1]),
                                parsePlacementValue(v[2]), parsePlacementValue(v[3])};
        const Placement r = restoredPlacement(p, QSizeF(15360, 11520));
        QTEST(QRectF(r.left, r.top, r.width, r.height), "placed");
    }
    void storedOnlyInNormalState()
    {
        const Placement current{-120, 30, 9000, 6000};
        QVERIFY(placementToStore(current, Qt::WindowActive) == current &&
                !placementToStore(current, Qt::WindowMinimized) &&
                !placementToStore(current, Qt::WindowFullScreen));
        writeStoredPlacement({1536, -15, 12288.5f, 9216});
        QSettings settings(u"Vellumet"_s, u"Vellumet"_s);
        QCOMPARE(settings.value(u"Settings/MainWidth"_s).toString(), u"12288.5");
        QCOMPARE(readStoredPlacement().top, std::optional<float>(-15));
        settings.clear();
    }
    void text()
    {
        const SiteDefinition site = parseSiteDefinition(
            "SERVER=ftp.example.com\rLOGIN=client\rPASSWORD=secret\rDIRECTORY=\\www\\site\\\r"
            "TITLE=Example Bakery\rPAGE=index.htm\rPAGE=news.tpl,news.htm,\\pub\\news\\\r"
            "PARAGRAPH=opening_hours\rPARAGRAPH=offer,Special offer, this week\r"
            "DEVELOPER=Jo\rEMAIL=jo@example.com\rPHONE=01234\rWEBSITE= https://www.example.com/ ");
        const QString page = infoPageText(
            site.settings, site.pages, site.paragraphs,
            {"9.8.7", "(C) Test", "help@example.org", "https://example.org/", "Thanks."});
        QString expected =
            "VELLUMET INFORMATION|This program has been supplied ... update your website. | |"
            "WEBSITE DEVELOPER|Contact:   Jo|Phone:     01234|"
            "Email:     jo@example.com| |SERVER|Website:   Example Bakery|"
            "Address:   https://www.example.com/|Server:    "
            "ftp.example.com|Login ID:  client|Directory: /www/site| |PAGES|"
            "index.htm - index.htm - /www/site|news.tpl - news.htm - /pub/news| |PARAGRAPHS|"
            "opening_hours - opening hours|offer - Special offer, this week| |VELLUMET "
            "INFORMATION|Version:   9.8.7|Copyright: (C) Test|Support:   help@example.org|"
            "Website:   https://example.org/| |ACKNOWLEDGEMENTS|Thanks.";
        QVERIFY2(matchesGaps(page, expected.replace(u'|', u"\r\n"_s)), qPrintable(page));
    }
    // Texts the list width skips by their length: each row has a shorter text that is wider.
    void widestText_data()
    {
        columns<QString, QString>("family", "texts");
        row("none", u"DejaVu Sans Mono"_s, QString());
        row("wide characters", u"DejaVu Sans Mono"_s, u"abcd|\u4e2d\u6587\u5b57\u7b26"_s);
        row("tab", u"DejaVu Sans Mono"_s, u"abcdefghij|\tx"_s);
        row("right to left", u"DejaVu Sans Mono"_s, u"abcdefghij|\u0645\u0631\u062d\u0628\u0627"_s);
        row("outside the font", u"DejaVu Sans Mono"_s, u"abcde|\U0001f600\U0001f600\U0001f600"_s);
        row("proportional", u"DejaVu Sans"_s, u"iiiiiiiiii|WWWWW|illl"_s);
    }
    void widestText()
    {
        const auto [family, texts] = fetch<QString, QString>("family", "texts");
        const QFont font(family, 10);
        const QStringList list = texts.isEmpty() ? QStringList() : texts.split(u'|');
        int widest = 0;
        for (const QString &text : list)
            widest = std::max(widest, QFontMetrics(font).horizontalAdvance(text));
        QCOMPARE(widestAdvance(font, list), widest);
    }
};

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"

#pragma once

#include "FakeFtpClient.h"
#include "TestFiles.h"
#include "publish/PasswordStore.h"
#include "ui/MainWindow.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

// Answers the window's boxes in place of a user, and keeps passwords in place of a keyring.
struct Fakes final : UserQuestions, PasswordStore {
    void reportMissingSiteDefinition(const QString &why) override { reasons << why; }
    void reportFolderInUse(const QString &holder) override { reasons << holder; }
    SaveAnswer askSaveChanges(QWidget *) override { return whileAsking(), ++asked, answer; }
    void reportPreviewFailures(QWidget *, const QStringList &why) override { reasons << why; }
    bool openInBrowser(const QUrl &url) override { return opened << url, true; }
    std::optional<PasswordAnswer> askPassword(QWidget *, const QString &, const QString &,
                                              bool keyring) override
    {
        return toldNoKeyring |= !keyring, ++passwordsAsked, typed;
    }
    bool isAvailable() const override { return keyring; }
    Result<QString> read(const QString &server, const QString &login) override
    {
        return stored.contains(server + u' ' + login) ? Result(stored[server + u' ' + login])
                                                      : failure(u"none stored"_s);
    }
    Result<> write(const QString &server, const QString &login, const QString &pw) override
    {
        return keyring ? (stored[server + u' ' + login] = pw, Result<>()) : failure(u"none"_s);
    }
    void forget(const QString &server, const QString &login) override
    {
        stored.remove(server + u' ' + login);
    }
    std::optional<PasswordAnswer> typed; // none: Cancel
    QMap<QString, QString> stored;       // by "server login"
    bool keyring = true, toldNoKeyring = false;
    int passwordsAsked = 0;
    QList<QUrl> opened;
    SaveAnswer answer = SaveAnswer::Cancel;
    std::function<void()> whileAsking = [] {};
    QStringList reasons;
    int asked = 0;
};

// A fresh program folder (also holding the settings) and the window on it.
struct TestSite final {
    TestSite()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        write("vellumet.ini",
              "TITLE=Corner Bakery\rSERVER=ftp.example.com\rPASSWORD=pw\rPAGE=index.tpl,"
              "index.html\rPARAGRAPH=intro,Introduction\rPARAGRAPH=opening_hours");
        write("intro.txt", "hello\r\nworld");
        server.page = "<p>@{intro}@</p>";
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray read(const char *name) const { return readTestFile(path(name)); }
    void write(const char *name, const QByteArray &bytes) const
    {
        QVERIFY(writeTestFile(path(name), bytes));
    }
    static int storedKeys()
    {
        return int(QSettings(u"Vellumet"_s, u"Vellumet"_s).allKeys().size());
    }
    bool start()
    {
        w = std::make_unique<MainWindow>(dir.path(), server.clients(), fakes, fakes);
        list = w->findChild<QListWidget *>();
        editor = w->findChild<PlainTextEditor *>();
        const auto button = [&](const char *name) { return w->findChild<QPushButton *>(name); };
        std::tie(info, save, exit) =
            std::tuple(button("cmdInfo"), button("cmdSave"), button("cmdExit"));
        return w->load() && (w->show(), QTest::qWaitForWindowActive(w.get()));
    }
    void publish()
    {
        QTest::mouseClick(save, Qt::LeftButton);
        QTRY_VERIFY(!w->isPublishing());
    }
    QMenu *menu() const { return w->findChild<QMenu *>("mnuPara"); }
    void click(int row, Qt::KeyboardModifiers keys = {})
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                          list->visualItemRect(list->item(row)).center());
    }
    QTemporaryDir dir;
    Fakes fakes;
    FakeFtpServer server;
    std::unique_ptr<MainWindow> w;
    QListWidget *list = nullptr;
    PlainTextEditor *editor = nullptr;
    QPushButton *info = nullptr, *save = nullptr, *exit = nullptr;
};

#pragma once

#include "publish/FtpClient.h"
#include "ui/MainWindow.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"

#include <QListWidget>
#include <QMutex>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vellumet;

// Answers the window's boxes in place of a user. A server that accepts everything and
// serves every page as "<p>@{intro}@</p>"; while the gate is held, runs wait at login.
struct Fakes final : UserQuestions {
    void reportMissingSiteDefinition(const QString &why) override { reasons << why; }
    void reportFolderInUse(const QString &holder) override { reasons << holder; }
    SaveAnswer askSaveChanges(QWidget *) override { return whileAsking(), ++asked, answer; }
    void reportPreviewFailures(QWidget *, const QStringList &why) override { reasons << why; }
    bool openInBrowser(const QUrl &url) override { return opened << url, true; }
    QList<QUrl> opened;
    SaveAnswer answer = SaveAnswer::Cancel;
    std::function<void()> whileAsking = [] {};
    QStringList reasons;
    int asked = 0;
    QMutex mutex;
    QMap<QString, QByteArray> uploads;
    int logins = 0;
    QSemaphore gate{1};
};

struct FakeClient final : FtpClient {
    explicit FakeClient(Fakes &fakes) : f(fakes) {}
    Result<> connect(const QString &, const QString &, const QString &) override
    {
        f.gate.acquire();
        f.gate.release();
        return QMutexLocker(&f.mutex), ++f.logins, Result<>();
    }
    QString currentDirectory() override { return QStringLiteral("/"); }
    Result<> changeDir(const QString &) override { return {}; }
    Result<> getFile(const QString &name, const QString &folder) override
    {
        QFile file(folder + u'/' + name);
        if (file.open(QIODevice::WriteOnly) && file.write("<p>@{intro}@</p>") == 16)
            return {};
        return failure(file.errorString());
    }
    Result<> putFile(const QString &path, const QString &) override
    {
        QFile file(path);
        QMutexLocker lock(&f.mutex);
        if (!file.open(QIODevice::ReadOnly))
            return failure(file.errorString());
        f.uploads[QFileInfo(path).fileName()] = file.readAll();
        return {};
    }
    void disconnect() override {}
    Fakes &f;
};

// A fresh program folder (also holding the settings) and the window on it.
struct TestSite final {
    TestSite()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        write("vellumet.ini", "TITLE=Corner Bakery\rSERVER=ftp.example.com\rPAGE=index.tpl,"
                              "index.html\rPARAGRAPH=intro,Introduction\rPARAGRAPH=opening_hours");
        write("intro.txt", "hello\r\nworld");
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray read(const char *name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
    }
    void write(const char *name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    static int storedKeys()
    {
        return int(
            QSettings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet")).allKeys().size());
    }
    // Loaded, shown and active, or false when loading failed.
    bool start()
    {
        w = std::make_unique<MainWindow>(
            dir.path(), [this] { return std::make_unique<FakeClient>(fakes); }, fakes);
        list = w->findChild<QListWidget *>();
        editor = w->findChild<PlainTextEditor *>();
        info = w->findChild<QPushButton *>("cmdInfo");
        save = w->findChild<QPushButton *>("cmdSave");
        exit = w->findChild<QPushButton *>("cmdExit");
        return w->load() && (w->show(), QTest::qWaitForWindowActive(w.get()));
    }
    void click(int row, Qt::KeyboardModifiers keys = {})
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                          list->visualItemRect(list->item(row)).center());
    }
    QTemporaryDir dir;
    Fakes fakes;
    std::unique_ptr<MainWindow> w;
    QListWidget *list = nullptr;
    PlainTextEditor *editor = nullptr;
    QPushButton *info = nullptr, *save = nullptr, *exit = nullptr;
};

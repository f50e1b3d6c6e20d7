#include "UiTestSupport.h"

#include "ui/PlainTextEditor.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

class FakeFtpClient final : public FtpClient
{
public:
    explicit FakeFtpClient(FakeServer &server) : server_(server) {}

    int Connect(const QString &, const QString &, const QString &) override
    {
        if (server_.held_)
            server_.gate_.acquire();
        QMutexLocker lock(&server_.mutex_);
        ++server_.logins_;
        return 1;
    }
    QString LastError() const override { return {}; }
    QString CurrentDirectory() override { return QStringLiteral("/"); }
    int ChangeDir(const QString &) override { return 1; }
    int GetFile(const QString &remoteName, const QString &localFolder) override
    {
        QFile file(localFolder + u'/' + remoteName);
        QMutexLocker lock(&server_.mutex_);
        return file.open(QIODevice::WriteOnly) && file.write(server_.page_) == server_.page_.size()
                   ? 1
                   : 0;
    }
    int PutFile(const QString &localPath, const QString &) override
    {
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        QMutexLocker lock(&server_.mutex_);
        server_.uploads_[QFileInfo(localPath).fileName()] = file.readAll();
        return 1;
    }
    void Disconnect() override {}

private:
    FakeServer &server_;
};

void FakeServer::setPage(const QByteArray &text)
{
    QMutexLocker lock(&mutex_);
    page_ = text;
}

QMap<QString, QByteArray> FakeServer::uploads() const
{
    QMutexLocker lock(&mutex_);
    return uploads_;
}

int FakeServer::logins() const
{
    QMutexLocker lock(&mutex_);
    return logins_;
}

PublishTask::ClientFactory FakeServer::clients()
{
    return [this] { return std::make_unique<FakeFtpClient>(*this); };
}

TestSite::TestSite()
{
    QVERIFY(dir_.isValid());
}

void TestSite::writeDefinition(const QByteArray &ini) const
{
    writeFile(QStringLiteral("vellumet.ini"), ini);
}

void TestSite::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(QDir(folder()).filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray TestSite::readFile(const QString &name) const
{
    QFile file(QDir(folder()).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestSite::hasFile(const QString &name) const
{
    return QFile::exists(QDir(folder()).filePath(name));
}

void UseTestSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    // Test programs run side by side: each keeps its settings in a folder of its own.
    static QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet")).clear();
}

QStringList StoredPlacementKeys()
{
    QSettings settings(QStringLiteral("Vellumet"), QStringLiteral("Vellumet"));
    settings.beginGroup(QStringLiteral("Settings"));
    return settings.childKeys();
}

std::unique_ptr<frmMain> StartWindow(const TestSite &site, FakeQuestions &questions,
                                     FakeServer &server)
{
    auto window = std::make_unique<frmMain>(site.folder(), server.clients(), questions);
    if (!window->Load())
        return window;
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("the window did not become active");
    return window;
}

QListWidget *ParaList(frmMain &window)
{
    return window.findChild<QListWidget *>(QStringLiteral("lstPara"));
}

PlainTextEditor *Editor(frmMain &window)
{
    return window.findChild<PlainTextEditor *>(QStringLiteral("rtbEdit"));
}

QPushButton *Button(frmMain &window, const char *name)
{
    return window.findChild<QPushButton *>(QString::fromLatin1(name));
}

void ClickEntry(frmMain &window, int row)
{
    QListWidget *list = ParaList(window);
    const QRect entry = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
}

void Click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

#pragma once

#include "publish/FtpClient.h"
#include "publish/PublishTask.h"
#include "ui/UserQuestions.h"
#include "ui/frmMain.h"

#include <QMap>
#include <QMutex>
#include <QSemaphore>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QListWidget;
class QPushButton;
class PlainTextEditor;

// Answers the window's boxes in place of a user, and counts them.
class FakeQuestions final : public UserQuestions
{
public:
    void ReportMissingSiteDefinition(const QString &why) override
    {
        ++missingReports;
        reason = why;
    }
    SaveAnswer AskSaveChanges(QWidget *) override
    {
        ++saveQuestions;
        if (whileAsking)
            whileAsking();
        return answer;
    }

    SaveAnswer answer = SaveAnswer::Cancel;
    std::function<void()> whileAsking; // looks at the window while the box would be up
    int missingReports = 0;
    QString reason;
    int saveQuestions = 0;
};

// A server that accepts everything, shared by the clients the window makes on the run's
// thread. A test may hold the next runs at their login until it lets them go.
class FakeServer final
{
public:
    void holdLogins() { held_ = true; }
    void releaseLogins() { gate_.release(100); }
    // Every page fetched from this server has this text.
    void setPage(const QByteArray &text);
    QMap<QString, QByteArray> uploads() const;
    int logins() const;
    PublishTask::ClientFactory clients();

private:
    friend class FakeFtpClient;
    mutable QMutex mutex_;
    QByteArray page_ = "<p>@{intro}@</p>";
    QMap<QString, QByteArray> uploads_;
    int logins_ = 0;
    bool held_ = false;
    QSemaphore gate_;
};

// A program folder with a site definition and local copies in it.
class TestSite final
{
public:
    TestSite();
    QString folder() const { return dir_.path(); }
    void writeDefinition(const QByteArray &ini) const;
    void writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;
    bool hasFile(const QString &name) const;

private:
    QTemporaryDir dir_;
};

// Keeps QSettings out of the user's real configuration and out of other test programs'
// way, and starts each test without a stored window placement.
void UseTestSettings();
QStringList StoredPlacementKeys();

// A window on the site, loaded and shown, active and ready for input.
std::unique_ptr<frmMain> StartWindow(const TestSite &site, FakeQuestions &questions,
                                     FakeServer &server);

QListWidget *ParaList(frmMain &window);
PlainTextEditor *Editor(frmMain &window);
QPushButton *Button(frmMain &window, const char *name);

// A click in the list's entry of the given row, as a user makes it.
void ClickEntry(frmMain &window, int row);
void Click(QWidget *widget);

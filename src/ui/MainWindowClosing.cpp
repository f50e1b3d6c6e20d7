#include "ui/MainWindow.h"

#include "site/LocalCopies.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>

namespace vellumet
{

namespace
{

// How long a program that must end waits for a stopped run to close its connection.
constexpr std::chrono::seconds StopWait{5};

} // namespace

void MainWindow::onExitClicked()
{
    close();
}

// A close by the user or by the Exit button. The system's own close comes through
// closeForSystem and never asks.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (closingForSystem_) {
        // The run saved the local copies before it connected; nothing typed waits on it.
        stopPublishing(StopWait);
        saveLocalCopiesForSystem();
        storeWindowPlacement();
        event->accept();
        return;
    }
    // The log is still being written; the window closes once the run has ended.
    if (publisher_->isRunning() || (saveButton_->isEnabled() && !askToSaveBeforeClosing())) {
        event->ignore();
        return;
    }
    storeWindowPlacement();
    event->accept();
}

// True when the window may close now; false after Cancel, and after Yes, which closes
// the window once the publish run it starts has ended.
bool MainWindow::askToSaveBeforeClosing()
{
    storeEditorText();
    clearForOtherText();
    editor_->setText(QString());
    switch (questions_.askSaveChanges(this)) {
    case UserQuestions::SaveAnswer::Yes:
        closeAfterPublish_ = true;
        startPublishing();
        return false;
    case UserQuestions::SaveAnswer::No:
        return true;
    case UserQuestions::SaveAnswer::Cancel:
        break;
    }
    return false;
}

void MainWindow::closeForSystem()
{
    closingForSystem_ = true;
    close();
}

void MainWindow::connectSessionEnd()
{
    // A log-off may still be cancelled, so the edits stay unsaved in the window as well.
    // A run in progress must not hold the session up: the close that ends the session
    // is then taken as the system's, which stops the run.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        saveLocalCopiesForSystem();
        closingForSystem_ = closingForSystem_ || isPublishing();
    });
    // Quitting without a close (the session ending the program) must not lose them.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        stopPublishing(StopWait);
        if (isVisible())
            saveLocalCopiesForSystem();
    });
}

bool MainWindow::stopPublishing(std::chrono::milliseconds limit)
{
    publisher_->cancel();
    return publisher_->wait(limit);
}

void MainWindow::saveLocalCopiesForSystem()
{
    if (!saveButton_->isEnabled())
        return;
    storeEditorText();
    // Nobody is left to tell about a copy that could not be written.
    saveLocalCopies(catalogue_.paragraphs, folder_);
}

} // namespace vellumet

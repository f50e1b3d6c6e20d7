#include "ui/frmMain.h"

#include "site/LocalCopies.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>

void frmMain::cmdExitClicked()
{
    close();
}

// A close by the user or by the Exit button. The system's own close comes through
// CloseForSystem and never asks.
void frmMain::closeEvent(QCloseEvent *event)
{
    if (closingForSystem_) {
        SaveLocalCopiesForSystem();
        StoreWindowPlacement();
        event->accept();
        return;
    }
    // The log is still being written; the window closes once the run has ended.
    if (publisher_->isRunning() || (cmdSave->isEnabled() && !AskToSaveBeforeClosing())) {
        event->ignore();
        return;
    }
    StoreWindowPlacement();
    event->accept();
}

// True when the window may close now; false after Cancel, and after Yes, which closes
// the window once the publish run it starts has ended.
bool frmMain::AskToSaveBeforeClosing()
{
    StoreEditorText();
    ClearForOtherText();
    rtbEdit->setText(QString());
    switch (questions_.AskSaveChanges(this)) {
    case UserQuestions::SaveAnswer::Yes:
        closeAfterPublish_ = true;
        PublishSite();
        return false;
    case UserQuestions::SaveAnswer::No:
        return true;
    case UserQuestions::SaveAnswer::Cancel:
        break;
    }
    return false;
}

void frmMain::CloseForSystem()
{
    closingForSystem_ = true;
    close();
}

void frmMain::ConnectSessionEnd()
{
    // A log-off may still be cancelled, so the edits stay unsaved in the window as well.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this] { SaveLocalCopiesForSystem(); });
    // Quitting without a close (the session ending the program) must not lose them.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (isVisible())
            SaveLocalCopiesForSystem();
    });
}

void frmMain::SaveLocalCopiesForSystem()
{
    if (!cmdSave->isEnabled())
        return;
    StoreEditorText();
    // Nobody is left to tell about a copy that could not be written.
    SaveLocalCopies(catalogue_.Paragraphs, folder_);
}

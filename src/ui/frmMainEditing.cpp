#include "ui/frmMain.h"

#include "ui/InfoPage.h"
#include "ui/PlainTextEditor.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>

#include <utility>

// cmdSave's enabled state is the only record of unsaved edits, and CurrentPara is 0
// whenever the editor shows anything but that paragraph: every handler that puts other
// text into the editor clears it first, so neither editor handler can take that text
// for a paragraph's.

void frmMain::lstParaSelectionChanged()
{
    const QList<QListWidgetItem *> selected = lstPara->selectedItems();
    if (selected.isEmpty()) {
        // However the selection went, what was typed stays, and no more can be typed
        // into a paragraph that is no longer current.
        StoreEditorText();
        catalogue_.CurrentPara = 0;
        rtbEdit->setReadOnly(true);
        return;
    }
    // Before the text is set: the change it reports compares the text with itself.
    catalogue_.CurrentPara = selected.first()->data(Qt::UserRole).toInt();
    rtbEdit->setText(catalogue_.para(catalogue_.CurrentPara).ParaText);
    rtbEdit->setReadOnly(false);
    rtbEdit->setFocus();
}

void frmMain::rtbEditFocusLost()
{
    StoreEditorText();
}

void frmMain::rtbEditChanged()
{
    if (catalogue_.CurrentPara <= 0 || cmdSave->isEnabled())
        return;
    if (rtbEdit->text() != catalogue_.para(catalogue_.CurrentPara).ParaText)
        cmdSave->setEnabled(true);
}

void frmMain::cmdInfoClicked()
{
    StoreEditorText();
    ShowInfoPage();
}

void frmMain::cmdSaveClicked()
{
    StoreEditorText();
    ClearForOtherText();
    rtbEdit->setText(QString());
    PublishSite();
}

// A click moves the focus and so stores the text already; a button reached another
// way (a shortcut, a close from the title bar) would otherwise lose what was typed.
void frmMain::StoreEditorText()
{
    if (catalogue_.CurrentPara > 0)
        catalogue_.para(catalogue_.CurrentPara).ParaText = rtbEdit->text();
}

void frmMain::ClearForOtherText()
{
    lstPara->selectionModel()->clear();
    catalogue_.CurrentPara = 0;
    rtbEdit->setReadOnly(true);
}

void frmMain::ShowInfoPage()
{
    ClearForOtherText();
    rtbEdit->setText(
        InfoPageText(settings_, catalogue_.Pages, catalogue_.Paragraphs, ThisProgram()));
}

// The run works on a snapshot off the UI thread. Until it ends, the list is held off
// too: a paragraph selected now would take the log for its text.
void frmMain::PublishSite()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cmdSave->setEnabled(false);
    cmdInfo->setEnabled(false);
    cmdExit->setEnabled(false);
    lstPara->setEnabled(false);
    progressLines_ = 0;
    publisher_->start({settings_, catalogue_.Pages, catalogue_.Paragraphs, folder_});
}

void frmMain::WriteProgressLine(const QString &line)
{
    if (progressLines_++ == 0)
        rtbEdit->setText(line);
    else
        rtbEdit->appendText(QStringLiteral("\r\n") + line);
}

void frmMain::PublishFinished()
{
    // The run stored the texts trimmed, as they now are in the local copies.
    const PublishOutcome &outcome = publisher_->outcome();
    catalogue_.Paragraphs = outcome.Paragraphs;
    cmdInfo->setEnabled(true);
    cmdExit->setEnabled(true);
    lstPara->setEnabled(true);
    QApplication::restoreOverrideCursor();
    // A text that did not reach its local copy is still unsaved: Save stays the record
    // of it, and a close waits for the user rather than dropping it.
    cmdSave->setEnabled(!outcome.LocalCopiesSaved);
    if (std::exchange(closeAfterPublish_, false) && outcome.LocalCopiesSaved)
        close();
}

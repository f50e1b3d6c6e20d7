#include "ui/MainWindow.h"

#include "publish/PasswordStore.h"
#include "ui/InfoPage.h"
#include "ui/PlainTextEditor.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>

#include <utility>

namespace vellumet
{

// saveButton_'s enabled state is the only record of unsaved edits, and currentPara is 0
// whenever the editor shows anything but that paragraph: every handler that puts other
// text into the editor clears it first, so neither editor handler can take that text
// for a paragraph's.

void MainWindow::onParagraphSelected()
{
    const QList<QListWidgetItem *> selected = paragraphList_->selectedItems();
    if (selected.isEmpty()) {
        // However the selection went, what was typed stays, and no more can be typed
        // into a paragraph that is no longer current.
        storeEditorText();
        catalogue_.currentPara = 0;
        editor_->setReadOnly(true);
        return;
    }
    // Before the text is set: the change it reports compares the text with itself.
    catalogue_.currentPara = selected.first()->data(Qt::UserRole).toInt();
    editor_->setText(catalogue_.para(catalogue_.currentPara).text);
    editor_->setReadOnly(false);
    editor_->setFocus();
}

void MainWindow::onEditorFocusLost()
{
    storeEditorText();
}

void MainWindow::onEditorChanged()
{
    if (catalogue_.currentPara <= 0 || saveButton_->isEnabled())
        return;
    if (editor_->text() != catalogue_.para(catalogue_.currentPara).text)
        saveButton_->setEnabled(true);
}

void MainWindow::onInfoClicked()
{
    storeEditorText();
    showInfoPage();
}

void MainWindow::onSaveClicked()
{
    storeEditorText();
    clearForOtherText();
    editor_->setText(QString());
    startPublishing();
}

// A click moves the focus and so stores the text already; a button reached another
// way (a shortcut, a close from the title bar) would otherwise lose what was typed.
void MainWindow::storeEditorText()
{
    if (catalogue_.currentPara > 0)
        catalogue_.para(catalogue_.currentPara).text = editor_->text();
}

void MainWindow::clearForOtherText()
{
    paragraphList_->selectionModel()->clear();
    catalogue_.currentPara = 0;
    editor_->setReadOnly(true);
}

void MainWindow::showInfoPage()
{
    clearForOtherText();
    editor_->setText(
        infoPageText(settings_, catalogue_.pages, catalogue_.paragraphs, thisProgram()));
}

// The run works on a snapshot off the UI thread. Until it ends, the list is held off
// too: a paragraph selected now would take the log for its text.
void MainWindow::startPublishing()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    saveButton_->setEnabled(false);
    infoButton_->setEnabled(false);
    exitButton_->setEnabled(false);
    paragraphList_->setEnabled(false);
    progressLines_ = 0;
    publisher_->start({settings_, catalogue_.pages, catalogue_.paragraphs, folder_},
                      needsStoredPassword(settings_));
}

void MainWindow::writeProgressLine(const QString &line)
{
    if (progressLines_++ == 0)
        editor_->setText(line);
    else
        editor_->appendText(QStringLiteral("\r\n") + line);
}

void MainWindow::onPublishFinished()
{
    // The run stored the texts trimmed, as they now are in the local copies.
    const PublishOutcome &outcome = publisher_->outcome();
    catalogue_.paragraphs = outcome.paragraphs;
    if (outcome.loginRefused && needsStoredPassword(settings_))
        forgetPassword();
    infoButton_->setEnabled(true);
    exitButton_->setEnabled(true);
    paragraphList_->setEnabled(true);
    QApplication::restoreOverrideCursor();
    // A text that did not reach its local copy is still unsaved: Save stays the record
    // of it, and a close waits for the user rather than dropping it.
    saveButton_->setEnabled(!outcome.localCopiesSaved);
    if (std::exchange(closeAfterPublish_, false) && outcome.localCopiesSaved)
        close();
}

} // namespace vellumet

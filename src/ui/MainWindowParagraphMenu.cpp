#include "ui/MainWindow.h"

#include "publish/PasswordStore.h"
#include "site/History.h"
#include "ui/EarlierTextsDialog.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QUrl>

namespace vellumet
{

// Both entries act on the selected paragraph: a right-click selects the entry under
// the pointer first, and the Menu key and Shift+F10 open the menu for the selection.
void MainWindow::createParagraphMenu()
{
    paragraphMenu_ = new QMenu(this);
    paragraphMenu_->setObjectName(QStringLiteral("mnuPara"));
    earlierTextsAction_ = paragraphMenu_->addAction(QStringLiteral("Earlier texts..."), this,
                                                    &MainWindow::showEarlierTexts);
    previewAction_ = paragraphMenu_->addAction(QStringLiteral("Preview in browser"), this,
                                               &MainWindow::previewParagraph);
    // The Menu key comes as a context-menu request of its own; Shift+F10 does not everywhere.
    auto *keyboardMenu = new QAction(paragraphList_);
    keyboardMenu->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    keyboardMenu->setShortcutContext(Qt::WidgetShortcut);
    paragraphList_->addAction(keyboardMenu);
    connect(keyboardMenu, &QAction::triggered, this,
            [this] { onParagraphMenuRequested(QPoint(-1, -1)); });
    paragraphList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(paragraphList_, &QListWidget::customContextMenuRequested, this,
            &MainWindow::onParagraphMenuRequested);
    connect(previewer_, &PreviewTask::finished, this, &MainWindow::onPreviewFinished);
}

void MainWindow::onParagraphMenuRequested(const QPoint &pos)
{
    const int para = catalogue_.currentPara;
    // Held off during a run, as the list is.
    if (para <= 0 || isPublishing())
        return;
    earlierTextsAction_->setEnabled(hasEarlierTexts(folder_, catalogue_.para(para).name));
    previewAction_->setEnabled(!previewer_->isRunning());
    QPoint at = pos;
    if (!paragraphList_->viewport()->rect().contains(at)) // the keyboard's menu
        at = paragraphList_->visualItemRect(paragraphList_->currentItem()).bottomLeft();
    paragraphMenu_->popup(paragraphList_->viewport()->mapToGlobal(at));
}

void MainWindow::showEarlierTexts()
{
    const int para = catalogue_.currentPara;
    if (para <= 0 || isPublishing())
        return;
    const Paragraph &paragraph = catalogue_.para(para);
    auto *dialog =
        new EarlierTextsDialog(paragraph.description, earlierTexts(folder_, paragraph.name), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &EarlierTextsDialog::restoreRequested, this,
            [this, para](const QString &text) { restoreEarlierText(para, text); });
    dialog->open();
}

// An edit like any other: Save publishes it, closing asks about it.
void MainWindow::restoreEarlierText(int paraNumber, const QString &text)
{
    // The dialog is modal, so the paragraph is still the one shown.
    if (isPublishing() || catalogue_.currentPara != paraNumber)
        return;
    editor_->setText(text);
    editor_->setFocus();
}

void MainWindow::previewParagraph()
{
    const int para = catalogue_.currentPara;
    if (para <= 0 || isPublishing() || previewer_->isRunning())
        return;
    if (!previewFolder_)
        previewFolder_ = std::make_unique<QTemporaryDir>();
    if (!previewFolder_->isValid()) {
        questions_.reportPreviewFailures(this, {previewFolder_->errorString()});
        previewFolder_.reset();
        return;
    }
    QList<Paragraph> texts = catalogue_.paragraphs;
    texts[para - 1].text = editor_->text();
    SiteSettings settings = settings_;
    if (needsStoredPassword(settings))
        settings.password = knownPassword().value_or(QString());
    previewer_->start({settings, catalogue_.pages, texts, catalogue_.para(para).name, folder_,
                       previewFolder_->path()});
}

void MainWindow::onPreviewFinished()
{
    const PreviewOutcome &outcome = previewer_->outcome();
    QStringList failures;
    for (const PreviewFailure &failure : outcome.failures)
        failures.append(failure.page.isEmpty()
                            ? failure.reason
                            : failure.page + QStringLiteral(" - ") + failure.reason);
    for (const QString &file : outcome.files)
        if (!questions_.openInBrowser(QUrl::fromLocalFile(file)))
            failures.append(file + QStringLiteral(" - no browser could be opened"));
    if (!failures.isEmpty())
        questions_.reportPreviewFailures(this, failures);
}

} // namespace vellumet

#include "ui/EarlierTextsDialog.h"

#include "ui/LayoutRule.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vellumet
{

namespace
{

constexpr qsizetype ShownStart = 40;

} // namespace

EarlierTextsDialog::EarlierTextsDialog(const QString &description, QList<EarlierText> texts,
                                       QWidget *parent)
    : QDialog(parent), texts_(std::move(texts))
{
    setObjectName(QStringLiteral("frmEarlier"));
    setWindowTitle(QStringLiteral("Earlier texts - ") + shortened(description));
    versions_ = new QListWidget(this);
    versions_->setObjectName(QStringLiteral("lstVersions"));
    for (const EarlierText &earlier : texts_)
        versions_->addItem(earlier.replaced.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                           QStringLiteral("  ") + firstLineStart(earlier.text));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("txtVersion"));
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *restore =
        buttons->addButton(QStringLiteral("Restore"), QDialogButtonBox::AcceptRole);
    restore->setObjectName(QStringLiteral("cmdRestore"));
    buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cmdClose"));
    connect(versions_, &QListWidget::currentRowChanged, this, &EarlierTextsDialog::showSelected);
    connect(restore, &QPushButton::clicked, this, [this] {
        if (const int row = versions_->currentRow(); row >= 0)
            emit restoreRequested(texts_[row].text);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(versions_, 1);
    layout->addWidget(text_, 2);
    layout->addWidget(buttons);
    resize(560, 420);
    versions_->setCurrentRow(0);
}

QString EarlierTextsDialog::firstLineStart(const QString &text)
{
    qsizetype end = 0;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
        ++end;
    const QString line = text.left(end);
    return line.size() > ShownStart ? line.left(ShownStart) + QStringLiteral("...") : line;
}

void EarlierTextsDialog::showSelected()
{
    const int row = versions_->currentRow();
    text_->setPlainText(row >= 0 ? texts_[row].text : QString());
}

} // namespace vellumet

#include "ui/PasswordDialog.h"

#include "ui/LayoutRule.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vellumet
{

PasswordDialog::PasswordDialog(const QString &server, const QString &login, bool keyringAvailable,
                               QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(QStringLiteral("Password"));
    // Names from the site definition are shown as text, never as markup.
    auto *intro =
        new QLabel(QStringLiteral("Vellumet needs the password of %1 on %2 to put "
                                  "your paragraphs on your website.")
                       .arg(shortened(login.isEmpty() ? QStringLiteral("(no login)") : login),
                            shortened(server)),
                   this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);

    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);
    remember_ = new QCheckBox(QStringLiteral("Remember on this computer"), this);
    remember_->setObjectName(QStringLiteral("chkRemember"));
    remember_->setChecked(keyringAvailable);
    remember_->setEnabled(keyringAvailable);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Password:"), password_);
    form->addRow(QString(), remember_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    if (!keyringAvailable) {
        auto *note = new QLabel(QStringLiteral("No keyring service is running on this computer: "
                                               "the password is kept only until Vellumet ends."),
                                this);
        note->setObjectName(QStringLiteral("lblNoKeyring"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

QString PasswordDialog::password() const
{
    return password_->text();
}

bool PasswordDialog::remember() const
{
    return remember_->isChecked();
}

} // namespace vellumet

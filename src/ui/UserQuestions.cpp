#include "ui/UserQuestions.h"

#include "ui/PasswordDialog.h"
#include "ui/ProgramIcon.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

namespace vellumet
{

void MessageBoxQuestions::reportMissingSiteDefinition(const QString &reason)
{
    useProgramIcon();
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vellumet"),
                    QStringLiteral("ERROR - vellumet.ini was not found"), QMessageBox::Ok);
    // The developer on the phone needs to know which of the many causes it was.
    box.setInformativeText(reason);
    box.exec();
}

void MessageBoxQuestions::reportFolderInUse(const QString &holder)
{
    useProgramIcon();
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vellumet"),
                    QStringLiteral("ERROR - Vellumet is already running in this folder"),
                    QMessageBox::Ok);
    box.setInformativeText(holder);
    box.exec();
}

UserQuestions::SaveAnswer MessageBoxQuestions::askSaveChanges(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Save Changes ?"),
                    QStringLiteral("Do you want to save your changes ?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return SaveAnswer::Yes;
    case QMessageBox::No:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

void MessageBoxQuestions::reportPreviewFailures(QWidget *parent, const QStringList &failures)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Preview"),
                    QStringLiteral("The preview could not show every page."), QMessageBox::Ok,
                    parent);
    box.setInformativeText(failures.join(u'\n'));
    box.exec();
}

bool MessageBoxQuestions::openInBrowser(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

std::optional<UserQuestions::PasswordAnswer> MessageBoxQuestions::askPassword(QWidget *parent,
                                                                              const QString &server,
                                                                              const QString &login,
                                                                              bool keyringAvailable)
{
    PasswordDialog dialog(server, login, keyringAvailable, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return PasswordAnswer{dialog.password(), dialog.remember()};
}

} // namespace vellumet

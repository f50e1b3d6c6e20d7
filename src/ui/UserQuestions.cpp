#include "ui/UserQuestions.h"

#include <QMessageBox>

namespace vellumet
{

void MessageBoxQuestions::reportMissingSiteDefinition(const QString &reason)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vellumet"),
                    QStringLiteral("ERROR - vellumet.ini was not found"), QMessageBox::Ok);
    // The developer on the phone needs to know which of the many causes it was.
    box.setInformativeText(reason);
    box.exec();
}

void MessageBoxQuestions::reportFolderInUse(const QString &holder)
{
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

} // namespace vellumet

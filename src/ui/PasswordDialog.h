#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace vellumet
{

// Asks for the FTP password that vellumet.ini leaves out, and whether the keyring may
// keep it.
class PasswordDialog final : public QDialog
{
    Q_OBJECT
public:
    PasswordDialog(const QString &server, const QString &login, bool keyringAvailable,
                   QWidget *parent = nullptr);

    QString password() const;
    bool remember() const;

private:
    QLineEdit *password_ = nullptr;
    QCheckBox *remember_ = nullptr;
};

} // namespace vellumet

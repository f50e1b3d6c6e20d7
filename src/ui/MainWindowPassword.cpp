#include "ui/MainWindow.h"

#include "publish/PasswordStore.h"
#include "ui/UserQuestions.h"

namespace vellumet
{

// Asked for by a run whose site definition gives no password, once the local copies
// are saved. Known for the rest of the session once given, remembered or not.
void MainWindow::supplyPassword()
{
    sessionPassword_ = knownPassword();
    if (!sessionPassword_)
        sessionPassword_ = askForPassword();
    publisher_->answerPassword(
        sessionPassword_ ? Result<QString>(*sessionPassword_)
                         : Result<QString>(failure(QStringLiteral("No password was given"))));
}

std::optional<QString> MainWindow::knownPassword()
{
    if (sessionPassword_)
        return sessionPassword_;
    if (Result<QString> stored = storedPassword(passwords_, settings_))
        return *stored;
    return std::nullopt;
}

std::optional<QString> MainWindow::askForPassword()
{
    const bool keyring = passwords_.isAvailable();
    const std::optional<UserQuestions::PasswordAnswer> answer =
        questions_.askPassword(this, settings_.server, settings_.login, keyring);
    if (!answer)
        return std::nullopt;
    // A keyring that will not take it leaves the password to this session, as none would.
    if (answer->remember && keyring)
        (void)passwords_.write(settings_.server, settings_.login, answer->password);
    return answer->password;
}

// The server refused it: the next Save asks again instead of repeating a wrong one.
void MainWindow::forgetPassword()
{
    sessionPassword_.reset();
    if (passwords_.isAvailable())
        passwords_.forget(settings_.server, settings_.login);
}

} // namespace vellumet

#pragma once

#include "site/Result.h"
#include "site/SiteSettings.h"

#include <QString>

namespace vellumet
{

// Where a site's FTP password is kept between runs when vellumet.ini gives none: the
// system's keyring, or a fake in tests. Entries are keyed by server and login.
class PasswordStore
{
public:
    virtual ~PasswordStore() = default;
    // False once no keyring service has answered: nothing can outlive this run.
    virtual bool isAvailable() const = 0;
    // The stored password; a failure says why there is none.
    virtual Result<QString> read(const QString &server, const QString &login) = 0;
    virtual Result<> write(const QString &server, const QString &login,
                           const QString &password) = 0;
    virtual void forget(const QString &server, const QString &login) = 0;
};

// True when the site definition leaves the password to the keyring or the user.
inline bool needsStoredPassword(const SiteSettings &settings)
{
    return settings.password.isEmpty();
}

// The password for settings' server and login as the store holds it, whatever the site
// definition says; a failure says why there is none. A store found unavailable once is
// not tried again: each try may wait for a keyring that never answers.
inline Result<QString> storedPassword(PasswordStore &store, const SiteSettings &settings)
{
    if (!store.isAvailable())
        return failure(QStringLiteral("No keyring service is running on this computer"));
    return store.read(settings.server, settings.login);
}

} // namespace vellumet

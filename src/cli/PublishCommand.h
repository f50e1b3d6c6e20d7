#pragma once

#include "cli/CommandLine.h"
#include "site/SiteSettings.h"

namespace vellumet
{

// The password a command logs in with: the site definition's, else VELLUMET_PASSWORD, else
// the keyring's. Never asked for: a command may run where nobody can answer.
QString sitePassword(const SiteSettings &settings, PasswordStore &keyring);

// The window's publish run, without the window: the texts are the local copies, and
// each progress line goes to standard output as it is written. 1 when a line is an
// ERROR line.
int runPublish(const QString &folder, const FtpClientsFor &clientsFor, PasswordStore &passwords);

} // namespace vellumet

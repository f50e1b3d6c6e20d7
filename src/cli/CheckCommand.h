#pragma once

#include "cli/CommandLine.h"

namespace vellumet
{

// Reports what is wrong with folder/vellumet.ini, and with online what the server shows
// is wrong with the pages. 0 nothing, 1 something, 2 the file cannot be read.
int runCheck(const QString &folder, bool online, bool json, const FtpClientsFor &clientsFor,
             PasswordStore &passwords);

} // namespace vellumet

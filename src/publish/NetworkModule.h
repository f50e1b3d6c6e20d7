#pragma once

#include "publish/FtpClient.h"
#include "publish/PasswordStore.h"

#include <QString>

namespace vellumet
{

// The module that holds the connections and, with them, libcurl and the two dozen
// libraries it needs; loading those costs the window's start-up time and memory, and
// most sessions never publish.
inline constexpr char NetworkModuleFileName[] = "libvellumet_network.so";

// Clients from the network module in moduleFolder or its lib/ folder, loaded on the first
// client asked for, from whichever thread asks. When it cannot be loaded, making a client
// throws with the reason, which the run reports as its failure to connect; the next
// attempt tries again, so a module put in place meanwhile is found.
FtpClientFactory networkModuleClients(const QString &moduleFolder, const QString &trustFolder);

// The system's keyring from the same module, loaded with the first question for a
// password; without the module it is a keyring that is not available.
std::unique_ptr<PasswordStore> networkModulePasswords(const QString &moduleFolder);

} // namespace vellumet

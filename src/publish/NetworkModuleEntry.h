#pragma once

#include <QString>

namespace vellumet
{

class FtpClient;
class PasswordStore;

// What the network module exports, resolved by name; plain C names, since the program
// looks them up at run time.

// Starts libcurl once for the process: null when ready, otherwise why not.
using StartNetwork = const char *(*)();
inline constexpr char StartNetworkSymbol[] = "vellumet_network_start";

// A fresh, unconnected client; the caller owns it.
using NewFtpClient = FtpClient *(*)(const QString &trustFolder);
inline constexpr char NewFtpClientSymbol[] = "vellumet_network_new_client";

// The system's keyring, which brings QtDBus and its libraries along; the caller owns it.
using NewPasswordStore = PasswordStore *(*)();
inline constexpr char NewPasswordStoreSymbol[] = "vellumet_network_new_password_store";

} // namespace vellumet

#pragma once

#include "publish/FtpClient.h"
#include "publish/PasswordStore.h"
#include "site/Result.h"

#include <QString>
#include <QStringList>

namespace vellumet
{

// Makes the connections for the site in a folder, whose trust file lies beside its
// vellumet.ini; main builds it, so that the window and the commands connect alike.
using FtpClientsFor = std::function<FtpClientFactory(const QString &folder)>;

// What the program was asked to do; no arguments at all is the window.
struct CommandLine {
    enum class Command { Window, Check, Publish, Help, Version };
    Command command = Command::Window;
    QString folder; // empty: the program's own
    bool online = false;
    bool json = false;
};

// The arguments after the program's name, or the one-line reason they are not understood.
Result<CommandLine> parseCommandLine(const QStringList &arguments);

// Runs a command other than the window and gives the program's exit status: 0 nothing
// wrong, 1 something wrong, 2 the command could not run at all. passwords is the keyring,
// for sites whose vellumet.ini gives none.
int runCommand(const CommandLine &commandLine, const FtpClientsFor &clientsFor,
               PasswordStore &passwords);

// Lines for a script or a terminal, written at once: another program may be reading.
void writeOut(const QString &text);
void writeError(const QString &text);

} // namespace vellumet

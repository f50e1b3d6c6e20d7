#include "cli/CommandLine.h"

#include "cli/CheckCommand.h"
#include "cli/PublishCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace vellumet
{

namespace
{

constexpr auto Help = R"(Usage: vellumet [--check [FOLDER] [--online] [--json] | --publish [FOLDER]]
Lets a client edit marked paragraphs of a website and publish them by FTP. Without
arguments it opens its window on the site in the program's folder.

  --check [FOLDER]    report mistakes in FOLDER/vellumet.ini and its local copies;
                      FOLDER is the program's own when not given
      --online        also log in and fetch every page's source (nothing is changed
                      on the server) to check the markers in them
      --json          write the report as JSON, for scripts
  --publish [FOLDER]  publish the site in FOLDER from its local copies without a
                      window, writing the log lines to standard output
  --help              show this help and exit
  --version           show the version and exit

The password is vellumet.ini's PASSWORD; when that is empty, the environment
variable VELLUMET_PASSWORD, and without that the one the system's keyring holds
for the site. The window never reads the environment.

Exit status: 0 nothing is wrong; 1 --check found a problem, or --publish wrote an
ERROR line; 2 the arguments or vellumet.ini could not be used.
)";

Result<CommandLine> usageError(const QString &what)
{
    return failure(u"vellumet: "_s + what + u" (see vellumet --help)"_s);
}

Result<> takeCommand(CommandLine &line, CommandLine::Command command, const QString &argument)
{
    if (line.command != CommandLine::Command::Window)
        return failure(argument + u" cannot go with another command"_s);
    line.command = command;
    return {};
}

} // namespace

Result<CommandLine> parseCommandLine(const QStringList &arguments)
{
    using enum CommandLine::Command;
    static const QHash<QString, CommandLine::Command> commands{{u"--check"_s, Check},
                                                               {u"--publish"_s, Publish},
                                                               {u"--help"_s, Help},
                                                               {u"-h"_s, Help},
                                                               {u"--version"_s, Version}};
    CommandLine line;
    bool folderGiven = false, optionsEnded = false;
    for (const QString &argument : arguments) {
        if (!optionsEnded && commands.contains(argument)) {
            if (const Result<> taken = takeCommand(line, commands[argument], argument); !taken)
                return usageError(taken.error());
        } else if (!optionsEnded && (argument == u"--online" || argument == u"--json")) {
            (argument == u"--online" ? line.online : line.json) = true;
        } else if (!optionsEnded && argument == u"--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.startsWith(u'-') && argument.size() > 1) {
            return usageError(u"unknown option "_s + argument);
        } else if (std::exchange(folderGiven, true)) {
            return usageError(u"only one folder may be given: "_s + argument);
        } else {
            line.folder = argument;
        }
    }
    if (line.command == Window && (folderGiven || line.online || line.json || optionsEnded))
        return usageError(u"a folder or option needs --check or --publish"_s);
    if (line.command != Check && (line.online || line.json))
        return usageError(u"--online and --json go with --check only"_s);
    if (folderGiven && line.command != Check && line.command != Publish)
        return usageError(u"only --check and --publish take a folder"_s);
    return line;
}

int runCommand(const CommandLine &line, const FtpClientsFor &clientsFor, PasswordStore &passwords)
{
    // Reports name the file as the user named its folder.
    const QString folder =
        line.folder.isEmpty() ? QCoreApplication::applicationDirPath() : line.folder;
    switch (line.command) {
    case CommandLine::Command::Check:
        return runCheck(folder, line.online, line.json, clientsFor, passwords);
    case CommandLine::Command::Publish:
        return runPublish(QDir(folder).absolutePath(), clientsFor, passwords);
    case CommandLine::Command::Help:
        writeOut(QString::fromUtf8(Help).chopped(1));
        return 0;
    case CommandLine::Command::Version:
        writeOut(u"vellumet "_s + QString::fromLatin1(VELLUMET_VERSION));
        return 0;
    case CommandLine::Command::Window:
        break;
    }
    return 2;
}

void writeOut(const QString &text)
{
    std::fputs((text + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void writeError(const QString &text)
{
    std::fputs((text + u'\n').toUtf8().constData(), stderr);
}

} // namespace vellumet

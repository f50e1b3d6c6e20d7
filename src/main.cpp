#include "cli/CommandLine.h"
#include "platform/TerminationSignals.h"
#include "publish/NetworkModule.h"
#include "ui/MainWindow.h"
#include "ui/UserQuestions.h"

#include <QApplication>

#include <cstdlib>

using namespace vellumet;

namespace
{

// A command runs without a display: no widget may be made, so no QApplication either.
int runCommandLine(int argc, char *argv[], const FtpClientsFor &ftpClients)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vellumet"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vellumet"));
    const Result<CommandLine> line = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (!line) {
        writeError(line.error());
        return 2;
    }
    const std::unique_ptr<PasswordStore> passwords =
        networkModulePasswords(QCoreApplication::applicationDirPath());
    return runCommand(*line, ftpClients, *passwords);
}

int runWindow(int argc, char *argv[], const FtpClientsFor &ftpClients)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumet"));
    QApplication::setOrganizationName(QStringLiteral("Vellumet"));

    MessageBoxQuestions questions;
    const std::unique_ptr<PasswordStore> passwords =
        networkModulePasswords(QCoreApplication::applicationDirPath());
    const QString folder = QCoreApplication::applicationDirPath();
    MainWindow window(folder, ftpClients(folder), questions, *passwords);
    if (!window.load())
        return EXIT_FAILURE;
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &window, [&] {
        window.closeForSystem();
        QCoreApplication::quit();
    });
    window.show();
    const int status = app.exec();
    // A run that did not stop in time must not keep the process alive; the typed
    // texts are in their local copies, and the window placement is stored.
    if (!window.stopPublishing(std::chrono::milliseconds(0)))
        std::_Exit(status);
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    // The one place connections are made, for the window and the commands alike. libcurl
    // is loaded with the first of them, not at start.
    const FtpClientsFor ftpClients = [](const QString &folder) -> FtpClientFactory {
        return networkModuleClients(QCoreApplication::applicationDirPath(), folder);
    };
    return argc > 1 ? runCommandLine(argc, argv, ftpClients) : runWindow(argc, argv, ftpClients);
}

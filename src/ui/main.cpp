#include "publish/CurlFtpClient.h"
#include "publish/KeychainPasswordStore.h"
#include "publish/NetworkLibrary.h"
#include "ui/MainWindow.h"
#include "ui/TerminationSignals.h"
#include "ui/UserQuestions.h"

#include <QApplication>

#include <cstdlib>

using namespace vellumet;

int main(int argc, char *argv[])
{
    const NetworkLibrary network; // before any thread exists
    if (!network.ready())
        return EXIT_FAILURE;
    int status = EXIT_FAILURE;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Vellumet"));
        QApplication::setOrganizationName(QStringLiteral("Vellumet"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/vellumet.png")));

        MessageBoxQuestions questions;
        KeychainPasswordStore passwords;
        MainWindow window(
            QCoreApplication::applicationDirPath(),
            [folder = QCoreApplication::applicationDirPath()] {
                return std::make_unique<CurlFtpClient>(folder);
            },
            questions, passwords);
        if (window.load()) {
            TerminationSignals terminationSignals;
            QObject::connect(&terminationSignals, &TerminationSignals::received, &window, [&] {
                window.closeForSystem();
                QCoreApplication::quit();
            });
            window.show();
            status = app.exec();
            // A run that did not stop in time must not keep the process alive; the typed
            // texts are in their local copies, and the window placement is stored.
            if (!window.stopPublishing(std::chrono::milliseconds(0)))
                std::_Exit(status);
        }
    }
    return status;
}

#include "publish/NetworkModule.h"
#include "ui/MainWindow.h"
#include "ui/TerminationSignals.h"
#include "ui/UserQuestions.h"

#include <QApplication>

#include <cstdlib>

using namespace vellumet;

int main(int argc, char *argv[])
{
    int status = EXIT_FAILURE;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Vellumet"));
        QApplication::setOrganizationName(QStringLiteral("Vellumet"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/vellumet.png")));

        MessageBoxQuestions questions;
        const QString folder = QCoreApplication::applicationDirPath();
        MainWindow window(folder, networkModuleClients(folder, folder), questions);
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

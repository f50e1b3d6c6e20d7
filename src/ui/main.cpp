#include "publish/CurlFtpClient.h"
#include "ui/MainWindow.h"
#include "ui/TerminationSignals.h"
#include "ui/UserQuestions.h"

#include <QApplication>

#include <curl/curl.h>

#include <cstdlib>

using namespace vellumet;

int main(int argc, char *argv[])
{
    // Before any thread exists: libcurl's global set-up is not thread-safe.
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return EXIT_FAILURE;
    int status = EXIT_FAILURE;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Vellumet"));
        QApplication::setOrganizationName(QStringLiteral("Vellumet"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/vellumet.png")));

        MessageBoxQuestions questions;
        MainWindow window(
            QCoreApplication::applicationDirPath(),
            [folder = QCoreApplication::applicationDirPath()] {
                return std::make_unique<CurlFtpClient>(folder);
            },
            questions);
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
    curl_global_cleanup();
    return status;
}

// The start-up baseline: an empty main window from the same Qt, started the way the
// program starts (one QApplication, one window shown, the event loop). Two variants tell
// where the program's own start-up goes: with --text the window holds one label, so the
// font system starts as it does for any window with text; built with
// VELLUMET_BENCH_WITH_CURL it also links libcurl and initialises it, as the program does.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#ifdef VELLUMET_BENCH_WITH_CURL
#include <curl/curl.h>
#endif

int main(int argc, char *argv[])
{
#ifdef VELLUMET_BENCH_WITH_CURL
    curl_global_init(CURL_GLOBAL_DEFAULT);
#endif
    QApplication app(argc, argv);
    QMainWindow window;
    if (QCoreApplication::arguments().contains(QStringLiteral("--text")))
        window.setCentralWidget(new QLabel(QStringLiteral("Opening hours"), &window));
    window.show();
    return app.exec();
}

// The start-up baseline: an empty main window from the same Qt, started the way the
// program starts (one QApplication, one window shown, the event loop).
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.show();
    return app.exec();
}

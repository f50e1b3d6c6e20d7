// Loaded into a Qt Widgets program with LD_PRELOAD, so that the real program and the
// empty window are timed the same way without either knowing. Prints CLOCK_MONOTONIC
// times on standard error as the program starts:
//     STEP loaded <s>         libraries loaded and initialised, before main
//     STEP application <s>    the application object is being constructed
//     STEP shown <s>          the first window is shown
//     FIRST_PAINT <s> <class> the first window has been painted and handed to the
//                             window system
// and then ends the process at once (no settings written, nothing saved).
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace
{

double Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void Step(const char *name)
{
    std::fprintf(stderr, "STEP %s %.6f\n", name, Now());
}

[[gnu::constructor]] void Loaded()
{
    Step("loaded");
}

class FirstPaintWatch final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWidgetType())
            return false;
        if (!shown_ && event->type() == QEvent::Show &&
            static_cast<QWidget *>(watched)->isWindow()) {
            shown_ = true;
            Step("shown");
        }
        if (!painted_ && event->type() == QEvent::Paint) {
            painted_ = true;
            const QByteArray window =
                static_cast<QWidget *>(watched)->window()->metaObject()->className();
            // The widgets of one window are painted and flushed in one go; a zero timer
            // fires once that is over.
            QTimer::singleShot(0, [window] {
                std::fprintf(stderr, "FIRST_PAINT %.6f %s\n", Now(), window.constData());
                std::fflush(stderr);
                _exit(0);
            });
        }
        return false;
    }

private:
    bool shown_ = false;
    bool painted_ = false;
};

void InstallFirstPaintWatch()
{
    Step("application");
    QCoreApplication::instance()->installEventFilter(
        new FirstPaintWatch(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallFirstPaintWatch)

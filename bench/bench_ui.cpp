// The window during a publish run: the real MainWindow with the real CurlFtpClient. Selects
// the first paragraph, types into it, presses Save, and records how long the UI thread's
// event loop goes without turning until the run has ended.
//
//   vellumet_bench_ui <program folder>
//
// Prints the longest gap between two turns of a 2 ms timer, the 99th percentile, how
// many gaps exceeded 50 ms, and the run's duration. Exits with 1 when the log does not
// end in "Finished" or holds an ERROR line.
#include "publish/CurlFtpClient.h"
#include "publish/KeychainPasswordStore.h"
#include "ui/MainWindow.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <curl/curl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace vellumet;

namespace
{

class NoQuestions final : public UserQuestions
{
public:
    void reportMissingSiteDefinition(const QString &) override
    {
        std::fprintf(stderr, "no vellumet.ini\n");
    }
    void reportFolderInUse(const QString &) override { std::fprintf(stderr, "folder in use\n"); }
    SaveAnswer askSaveChanges(QWidget *) override { return SaveAnswer::No; }
    void reportPreviewFailures(QWidget *, const QStringList &) override {}
    bool openInBrowser(const QUrl &) override { return false; }
    std::optional<PasswordAnswer> askPassword(QWidget *, const QString &, const QString &,
                                              bool) override
    {
        return std::nullopt;
    }
};

// The UI thread's CPU time and its context switches: waiting (a lock, a reply from the
// window system) switches voluntarily, being pushed off the CPU by other processes
// involuntarily.
struct ThreadUsage {
    double cpuMs = 0;
    long voluntary = 0;
    long involuntary = 0;

    static ThreadUsage now()
    {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return {double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                    double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3,
                usage.ru_nvcsw, usage.ru_nivcsw};
    }
};

// Turns of the event loop, seen as the times between timer shots, and what the UI
// thread did within the longest gap.
class LoopWatch
{
public:
    void start()
    {
        clock_.start();
        last_ = 0;
        lastUsage_ = ThreadUsage::now();
    }
    void turn()
    {
        const qint64 now = clock_.nsecsElapsed();
        const ThreadUsage usage = ThreadUsage::now();
        const double gap = double(now - last_) / 1e6;
        gaps_.append(gap);
        maxCpu_ = std::max(maxCpu_, usage.cpuMs - lastUsage_.cpuMs);
        if (gap > longest_.gap)
            longest_ = {gap, double(last_) / 1e6, usage.cpuMs - lastUsage_.cpuMs,
                        usage.voluntary - lastUsage_.voluntary,
                        usage.involuntary - lastUsage_.involuntary};
        last_ = now;
        lastUsage_ = usage;
    }
    void report() const
    {
        QList<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        const auto over =
            std::count_if(sorted.cbegin(), sorted.cend(), [](double g) { return g > 50; });
        std::printf("TURNS %lld\nMAX_GAP_MS %.2f\nP99_GAP_MS %.2f\nGAPS_OVER_50_MS %lld\n"
                    "MAX_UI_CPU_IN_GAP_MS %.2f\nLONGEST_GAP_AT_MS %.1f\nLONGEST_GAP_CPU_MS %.2f\n"
                    "LONGEST_GAP_VOLUNTARY_SWITCHES %ld\nLONGEST_GAP_INVOLUNTARY_SWITCHES %ld\n",
                    qlonglong(sorted.size()), sorted.isEmpty() ? 0.0 : sorted.last(),
                    sorted.isEmpty() ? 0.0 : sorted[qsizetype(double(sorted.size() - 1) * 0.99)],
                    qlonglong(over), maxCpu_, longest_.at, longest_.cpu, longest_.voluntary,
                    longest_.involuntary);
    }

private:
    struct Gap {
        double gap = 0;
        double at = 0; // since the watch started; the click comes at 100 ms
        double cpu = 0;
        long voluntary = 0;
        long involuntary = 0;
    };

    QElapsedTimer clock_;
    qint64 last_ = 0;
    ThreadUsage lastUsage_;
    double maxCpu_ = 0;
    Gap longest_;
    QList<double> gaps_;
};

} // namespace

int main(int argc, char *argv[])
{
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return 2;
    int status = 2;
    {
        QApplication app(argc, argv);
        if (argc != 2) {
            std::fprintf(stderr, "usage: vellumet_bench_ui <program folder>\n");
            return 2;
        }
        NoQuestions questions;
        KeychainPasswordStore passwords; // the site's PASSWORD line keeps it out of use
        MainWindow window(
            QString::fromLocal8Bit(argv[1]), [] { return std::make_unique<CurlFtpClient>(); },
            questions, passwords);
        if (!window.load())
            return 2;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 2;

        auto *list = window.findChild<QListWidget *>(QStringLiteral("lstPara"));
        auto *editor = window.findChild<PlainTextEditor *>(QStringLiteral("rtbEdit"));
        auto *save = window.findChild<QPushButton *>(QStringLiteral("cmdSave"));
        list->setCurrentRow(0);
        QTest::keyClicks(editor, QStringLiteral(" edited"));
        if (!save->isEnabled()) {
            std::fprintf(stderr, "typing did not enable Save\n");
            return 2;
        }

        LoopWatch watch;
        QElapsedTimer run;
        bool started = false;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(2);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            watch.turn();
            if (started && !window.isPublishing())
                app.quit();
        });
        // The click goes through the event loop, so its own handler is measured too.
        QTimer::singleShot(100, [&] {
            run.start();
            started = true;
            QTest::mouseClick(save, Qt::LeftButton);
        });
        watch.start();
        tick.start();
        app.exec();
        tick.stop();

        watch.report();
        const QString log = editor->text();
        std::printf("RUN_MS %.1f\nLOG_LINES %lld\n", double(run.nsecsElapsed()) / 1e6,
                    qlonglong(log.count(QStringLiteral("\r\n")) + 1));
        status = log.endsWith(QStringLiteral("Finished")) && !log.contains(QStringLiteral("ERROR"))
                     ? 0
                     : 1;
        if (status != 0)
            std::fprintf(stderr, "%s\n", qPrintable(log));
    }
    curl_global_cleanup();
    return status;
}

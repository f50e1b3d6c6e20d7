// One real publish run: the site in the given program folder, published by publishSite
// through CurlFtpClient, as the window would do it. The bench script runs it against
// its own FTP server behind the delay link.
//
//   vellumet_bench_publish <program folder> [--log] [--connections=N] [--server=SERVER]
//
// Prints the run's own duration as "RUN_MS <milliseconds>"; with --log, every progress
// line too, behind its CLOCK_MONOTONIC time, the clock of the bench server's log. Exits with 1 when
// the run logged an ERROR line.

#include "publish/CurlFtpClient.h"
#include "publish/PublishRun.h"
#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <curl/curl.h>

#include <cstdio>
#include <ctime>

using namespace vellumet;

namespace
{

double Monotonic()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: vellumet_bench_publish <program folder> [--log]\n");
        return 2;
    }
    const QString folder = args.at(1);
    const bool showLog = args.contains(QStringLiteral("--log"));
    const Result<QByteArray> bytes = readSiteDefinitionFile(folder);
    if (!bytes) {
        std::fprintf(stderr, "no vellumet.ini in %s\n", qPrintable(folder));
        return 2;
    }
    SiteDefinition site = parseSiteDefinition(*bytes);
    for (const QString &arg : args)
        if (arg.startsWith(QStringLiteral("--connections=")))
            site.settings.connections = arg.section(u'=', 1).toInt();
        else if (arg.startsWith(QStringLiteral("--server=")))
            site.settings.server = arg.section(u'=', 1);
    loadLocalCopies(site.paragraphs, folder);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    int errors = 0;
    {
        CurlFtpClient ftp(folder);
        const LogSink log = [&](const QString &line) {
            if (line.startsWith(QStringLiteral("ERROR")))
                ++errors;
            if (showLog || line.startsWith(QStringLiteral("ERROR")))
                std::fprintf(stderr, "%.6f %s\n", Monotonic(), qPrintable(line));
        };
        QElapsedTimer clock;
        clock.start();
        publishSite({site.settings, site.pages, site.paragraphs, folder}, ftp, log, nullptr,
                    [&] { return std::make_unique<CurlFtpClient>(folder); });
        if (showLog)
            std::fprintf(stderr, "%.6f (returned)\n", Monotonic());
        std::printf("RUN_MS %.3f\n", double(clock.nsecsElapsed()) / 1e6);
    }
    curl_global_cleanup();
    return errors == 0 ? 0 : 1;
}

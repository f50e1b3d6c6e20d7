#include "publish/NetworkModuleEntry.h"

#include "publish/CurlFtpClient.h"
#include "publish/NetworkLibrary.h"

using namespace vellumet;

extern "C" Q_DECL_EXPORT const char *vellumet_network_start()
{
    // libcurl's set-up runs after the window's threads exist. The libcurl this is built
    // for reports itself thread-safe there, and the loader calls this under its lock besides.
    // Never torn down: a worker that outlives the window may still hold a client at exit.
    static const NetworkLibrary *network = new NetworkLibrary;
    return network->ready() ? nullptr : "libcurl could not be started";
}

extern "C" Q_DECL_EXPORT FtpClient *vellumet_network_new_client(const QString &trustFolder)
{
    return new CurlFtpClient(trustFolder);
}

static_assert(std::is_same_v<decltype(&vellumet_network_start), StartNetwork> &&
              std::is_same_v<decltype(&vellumet_network_new_client), NewFtpClient>);

#include "publish/NetworkModuleEntry.h"

#include "publish/CurlFtpClient.h"
#include "publish/KeychainPasswordStore.h"
#include "publish/NetworkLibrary.h"

#include <type_traits>

using namespace vellumet;

extern "C" Q_DECL_EXPORT const char *vellumet_network_start()
{
    // Runs after the window's threads exist. Debian's libcurl reports its set-up
    // thread-safe (CURL_VERSION_THREADSAFE); for one that does not, nothing else in the
    // process touches libcurl or its TLS library, and the static makes the set-up run once
    // however many runs start together. Never torn down: a worker that outlives the
    // window may still hold a client at exit.
    static const NetworkLibrary *network = new NetworkLibrary;
    return network->ready() ? nullptr : "libcurl could not be started";
}

extern "C" Q_DECL_EXPORT FtpClient *vellumet_network_new_client(const QString &trustFolder)
{
    return new CurlFtpClient(trustFolder);
}

extern "C" Q_DECL_EXPORT PasswordStore *vellumet_network_new_password_store()
{
    return new KeychainPasswordStore;
}

static_assert(std::is_same_v<decltype(&vellumet_network_start), StartNetwork> &&
              std::is_same_v<decltype(&vellumet_network_new_client), NewFtpClient> &&
              std::is_same_v<decltype(&vellumet_network_new_password_store), NewPasswordStore>);

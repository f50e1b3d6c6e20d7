#include "publish/NetworkLibrary.h"

#include <curl/curl.h>

namespace vellumet
{

NetworkLibrary::NetworkLibrary() : ready_(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

NetworkLibrary::~NetworkLibrary()
{
    if (ready_)
        curl_global_cleanup();
}

} // namespace vellumet

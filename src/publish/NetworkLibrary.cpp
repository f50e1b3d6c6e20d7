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

QString networkLibraryVersion()
{
    const curl_version_info_data *curl = curl_version_info(CURLVERSION_NOW);
    return QString::fromLatin1(curl && curl->version ? curl->version : "");
}

} // namespace vellumet

#include "platform/network.h"

#include <curl/curl.h>

namespace platform {

static bool networkStarted = false;

bool startNetwork()
{
    if (!networkStarted)
        networkStarted = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return networkStarted;
}

void stopNetwork()
{
    if (networkStarted)
        curl_global_cleanup();
    networkStarted = false;
}

} // namespace platform

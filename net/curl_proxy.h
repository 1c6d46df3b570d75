#pragma once
// The proxy both transfers hand to libcurl.

#include <string>

#include "net/curl_transfer.h"  // libcurl, as the transfers include it

namespace net_detail {

// The proxy of the user's settings for a transfer to url (net/proxy_choice.h). Without a fixed
// proxy there libcurl's own defaults stay: the environment variables.
void UseSystemProxy(CURL* curl, const std::string& url);

}  // namespace net_detail

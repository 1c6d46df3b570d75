#include "net/curl_proxy.h"

#include <optional>
#include <string>

#include "net/proxy_choice.h"
#include "platform/diagnostics.h"

namespace net_detail {

void UseSystemProxy(CURL* curl, const std::string& url) {
  // Read for every transfer: a proxy the player sets after a failure counts from the Retry on.
  const std::optional<CurlProxy> chosen = ChooseProxy(CurrentProxySettings(), url);
  if (!chosen) return;
  // An empty proxy is libcurl's word for a direct transfer, whatever the environment says.
  curl_easy_setopt(curl, CURLOPT_PROXY, chosen->proxy.c_str());
  if (chosen->proxy.empty()) return;
  curl_easy_setopt(curl, CURLOPT_NOPROXY, chosen->noProxy.c_str());
  platform::Diagnostic("proxy %s (direct: %s) for %s\n", chosen->proxy.c_str(),
                       chosen->noProxy.c_str(), url.c_str());
}

}  // namespace net_detail

#include <cstdio>
#include <string>

#include "net/curl_proxy.h"
#include "net/curl_transfer.h"
#include "net/http_util.h"
#include "platform/diagnostics.h"

using namespace net_detail;

void HttpUtil::Request(const std::string& url, const std::string& body,
                       const TransferCallback& callback, const std::string& method,
                       int connectTimeout, int timeoutMs) {
  std::string target = url;
  std::string payload = body;
  const bool post = method == "POST";
  if (post) {
    const size_t query = target.find('?');
    if (query != std::string::npos) {
      if (payload.empty()) payload = target.substr(query);
      target.resize(query);
    }
  }

  CurlHandle handle(curl_easy_init());
  CURL* curl = handle.get();
  if (curl == nullptr) {
    callback("error", "can not init curl", 0, 0);
    return;
  }

  std::string response;
  BodySink sink{&response, kMaxDocumentBytes};
  ProgressSink progress{&callback};
  const HeaderList headers(curl_slist_append(nullptr, "Connection: close"));
  curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
  if (post) {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, payload.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(payload.size()));
  } else {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  // A stated length past the limit is refused before the body; an unstated one stops there.
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxDocumentBytes));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_PROGRESSFUNCTION, &ReportProgress);
  curl_easy_setopt(curl, CURLOPT_PROGRESSDATA, &progress);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout));
  if (timeoutMs > 0) curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  TrustVerifiedPeersOnly(curl);
  UseSystemProxy(curl, target);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 5L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());

  const CURLcode code = curl_easy_perform(curl);
  long status = -1;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  handle.reset();  // the connection goes before the outcome is told, as in the download
  platform::Diagnostic("curlcode = %d, ret_code = %ld\n", static_cast<int>(code), status);

  // A 200 header followed by a stall, a dropped connection or a short body is no document:
  // only a transfer libcurl completed counts.
  if (status == 200 && code == CURLE_OK) {
    platform::Diagnostic("http post succ to %s with %s, response is %s\n\n", target.c_str(),
                         payload.c_str(), response.c_str());
    callback("succ", response, 0, 0);
    return;
  }
  const std::string reason =
      sink.overLimit ? FormatMessage("document larger than %llu bytes",
                                     static_cast<unsigned long long>(kMaxDocumentBytes))
                     : std::string(curl_easy_strerror(code));
  platform::Diagnostic("curl perform fail to %s with %s, ret_code is %d (%s)\n\n", target.c_str(),
                       payload.c_str(), static_cast<int>(status), reason.c_str());
  const std::string message = FormatMessage("curl perform fail, ret_code is %d (%s)",
                                            static_cast<int>(status), reason.c_str());
  callback(status == 408 ? "timeout" : "error", message, 0, 0);
}

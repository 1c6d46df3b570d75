#include "net/curl_transfer.h"

#include <algorithm>
#include <cstdarg>
#include <string_view>

#include "net/curl_proxy.h"
#include "net/trusted_ca_bundle.h"

namespace net_detail {

size_t AppendToString(char* data, size_t size, size_t count, void* sink) {
  auto& target = *static_cast<BodySink*>(sink);
  const size_t bytes = size * count;
  if (bytes > target.limit - target.body->size()) {
    target.overLimit = true;
    return 0;  // anything but count stops the transfer
  }
  target.body->append(data, bytes);
  return count;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* sink) {
  auto& target = *static_cast<FileSink*>(sink);
  size_t bytes = size * count;
  if (target.limit && bytes > *target.limit - std::min(target.length, *target.limit)) {
    // Written up to the limit: when the package is a correct one with bytes after it, its digest
    // still matches and the next check keeps it instead of fetching it again.
    bytes = static_cast<size_t>(*target.limit - std::min(target.length, *target.limit));
    target.overLimit = true;
  }
  const size_t written = std::fwrite(data, 1, bytes, target.file);
  target.length += written;
  return target.overLimit ? 0 : written;  // libcurl's size is always 1
}

int ReportProgress(void* sink, double downloadTotal, double downloadNow, double, double) {
  const auto& progress = *static_cast<const ProgressSink*>(sink);
  if (!(downloadTotal > 0)) return 0;
  if (progress.alreadyCounted > 0) {
    if (!(downloadNow > progress.alreadyCounted)) return 0;
    downloadNow -= progress.alreadyCounted;
    downloadTotal -= progress.alreadyCounted;
  }
  (*progress.callback)("trans", "", downloadNow, downloadTotal);
  return 0;
}

void SetPackageTransferOptions(CURL* curl, const std::string& url) {
  // With libcurl's 16 KiB default receive buffer a package download makes six times as many
  // TLS reads, file writes and progress calls as with curl's own command line, and falls
  // behind it on a fast link.
  constexpr long kReceiveBufferBytes = 100 * 1024;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  TrustVerifiedPeersOnly(curl);
  UseSystemProxy(curl, url);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 5L);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
}

void TrustVerifiedPeersOnly(CURL* curl) {
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
  // A redirect to plain HTTP would hand the rest of the transfer to anyone on the path; one to
  // another HTTPS host, as CDNs answer, is fine.
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // Schannel checks revocation and fails when the CRL or OCSP server cannot be reached, which a
  // firewall or a captive network makes common: players would be locked out of a game whose
  // certificate is fine. A certificate known to be revoked is still refused. Other TLS
  // back-ends ignore the flag.
  curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  const std::string_view bundle = net::TrustedCaBundle();
  if (!bundle.empty()) {
    curl_blob blob{const_cast<char*>(bundle.data()), bundle.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
    // The compiled-in authorities alone: no file or folder of the machine adds to them.
    curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
  }
}

std::string FormatMessage(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

}  // namespace net_detail

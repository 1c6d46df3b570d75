#include "net/curl_transfer.h"

#include <cstdarg>

namespace net_detail {

size_t AppendToString(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return count;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file));
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

void TrustVerifiedPeersOnly(CURL* curl) {
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
#ifdef TIDEWAKE_CA_BUNDLE
  if (TIDEWAKE_CA_BUNDLE[0] != '\0') curl_easy_setopt(curl, CURLOPT_CAINFO, TIDEWAKE_CA_BUNDLE);
#endif
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

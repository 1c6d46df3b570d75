#pragma once
// Pieces both transfers hand to libcurl: the write and progress functions, TLS trust, and the
// failure text.

// The classic progress callback is the one the transfers are written against; libcurl marks it
// deprecated in favour of the 64-bit variant, which reports the same counts.
#define CURL_DISABLE_DEPRECATION
#include <curl/curl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "net/http_util.h"

namespace net_detail {

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
// One easy handle, cleaned up on every way out of a transfer.
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

struct HeaderListFree {
  void operator()(curl_slist* headers) const { curl_slist_free_all(headers); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListFree>;

// CURLOPT_WRITEFUNCTION for a memory target: appends to the std::string given as write data.
size_t AppendToString(char* data, size_t size, size_t count, void* body);
// CURLOPT_WRITEFUNCTION for a file target: fwrite to the FILE given as write data.
size_t WriteToFile(char* data, size_t size, size_t count, void* file);

// What the progress function reports to.
struct ProgressSink {
  const TransferCallback* callback = nullptr;
  // Bytes at the start of this transfer that only rewrite what the consumer already counts as
  // done (see the download's restart without a range): nothing is reported until they are
  // passed, and they are taken off both numbers after.
  double alreadyCounted = 0;
};

// CURLOPT_PROGRESSFUNCTION: "trans" with the bytes of this transfer while its size is known.
int ReportProgress(void* sink, double downloadTotal, double downloadNow, double uploadTotal,
                   double uploadNow);

// Peer and host verification against the trusted store: the system's, or the bundle the
// build names.
void TrustVerifiedPeersOnly(CURL* curl);

// printf-style formatting of a failure text into a fixed 1024-byte buffer: a longer text is cut
// at 1023 bytes.
std::string FormatMessage(const char* format, ...);

}  // namespace net_detail

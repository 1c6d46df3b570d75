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
#include <optional>
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

// Write data for AppendToString: the body, and where it must stop.
struct BodySink {
  std::string* body = nullptr;
  uint64_t limit = 0;
  bool overLimit = false;  // the transfer was stopped because the body ran past the limit
};
// CURLOPT_WRITEFUNCTION for a memory target: appends to the BodySink's string while the body
// stays within the limit; a piece that would pass it stops the transfer and is not kept.
size_t AppendToString(char* data, size_t size, size_t count, void* sink);

// Write data for WriteToFile: the file, how long it is, and how long it may become.
struct FileSink {
  std::FILE* file = nullptr;
  uint64_t length = 0;
  std::optional<uint64_t> limit;
  bool overLimit = false;
};
// CURLOPT_WRITEFUNCTION for a file target: fwrite to the FileSink's file; the bytes past its
// limit are not written and stop the transfer.
size_t WriteToFile(char* data, size_t size, size_t count, void* sink);

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

// Peer and host verification against the trusted store (the system's, or the bundle the build
// names), TLS 1.2 at least, and HTTPS for the request and every redirect, of which at most five
// are followed.
void TrustVerifiedPeersOnly(CURL* curl);

// What every transfer of package bytes (the whole package, or its byte ranges) asks of libcurl
// beside its own target: the URL with redirects, TLS trust, the system's proxy, no signals, the
// low-speed time-out (under 1 B/s for 5 s), the verbose log, and a receive buffer as large as
// curl's own command line uses.
void SetPackageTransferOptions(CURL* curl, const std::string& url);

// printf-style formatting of a failure text into a fixed 1024-byte buffer: a longer text is cut
// at 1023 bytes.
std::string FormatMessage(const char* format, ...);

}  // namespace net_detail

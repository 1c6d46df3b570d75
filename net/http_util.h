#pragma once
// The only place the launcher talks to the network: blocking transfers over the libcurl easy
// interface, HTTPS only, and starters that run them on detached workers. Nothing throws or
// returns a status: every outcome, progress included, arrives through the task's TransferCallback
// on the worker.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// (event, message, first, second). Downloads: "trans", then "succ" or "fail". Requests: "trans",
// then "succ", "timeout" or "error".
using TransferCallback = std::function<void(const std::string& event, const std::string& message,
                                            double first, double second)>;

// The largest document a request keeps: a fileInfo listing 100 000 files is a few MiB; a longer
// response is an error, and the transfer stops there.
constexpr uint64_t kMaxDocumentBytes = 16u << 20;

// The package's digests, made from its bytes as they were written.
struct DownloadDigests {
  std::string md5;     // lower-case hex
  std::string sha256;  // lower-case hex; empty unless asked for
};

struct DownloadTask {
  uint64_t resumeOffset = 0;  // bytes already in the local file; 0 starts a fresh file
  std::string localPath;      // the package file the body is written to
  TransferCallback callback;
  std::string url;
  // The length the local file may reach, when the package's size is known: a body that runs
  // past it is written up to it and the download fails there.
  std::optional<uint64_t> maxBytes;
  // Other servers of the same package; ranges come from all of them, and one that fails hands
  // its ranges to the others.
  std::vector<std::string> mirrorUrls;
  bool wantSha256 = false;
  // Called before "succ" when the digests of the whole file could be made on the way.
  std::function<void(const DownloadDigests&)> digests;
  // Told on the download's worker whenever the file's contiguous prefix from byte 0 grows, with
  // its new length, once those bytes can be read back through another handle: a reader may
  // follow the package while it arrives. At least once at the end of a whole package.
  std::function<void(uint64_t prefixBytes)> prefixWritten;
};

struct RequestTask {
  std::string url;
  std::string body;
  TransferCallback callback;
  int connectTimeout = 0;  // seconds, handed to libcurl
  int timeoutMs = 0;       // the whole request, connect included; 0: no limit but libcurl's own
};

// Pieces of one remote object fetched by byte range, for a reader that wants a few parts of a
// large file (a zip's directory, the entries that changed).
struct RangeTask {
  std::string url;
  // [start, end) of the object, ascending and not overlapping; empty ranges are skipped.
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  // The object's size when known: every answer's Content-Range must state it, so a range read
  // from another version of the file is refused.
  std::optional<uint64_t> objectBytes;
  // Takes each received piece with its offset in the object, in ascending order and exactly
  // once; false stops the transfer ("fail").
  std::function<bool(uint64_t offset, std::string_view bytes)> sink;
  // "trans" (bytes received, bytes of all ranges), then "succ", "rangeIgnored" (the server
  // answered without honouring the range: 200, or a Content-Range other than the one asked) or
  // "fail" (message: why).
  TransferCallback callback;
};

class HttpUtil {
 public:
  // One connection, the body appended to the file.
  static void DownloadFile(const DownloadTask& task);
  // Byte ranges over several connections (and mirrors), written at their offsets, resumable
  // through the parts file beside the package; DownloadFile when the server does not serve
  // ranges.
  static void DownloadPackage(const DownloadTask& task);
  // The response body is kept up to kMaxDocumentBytes; a longer one is an "error".
  static void Request(const std::string& url, const std::string& body,
                      const TransferCallback& callback, const std::string& method,
                      int connectTimeout, int timeoutMs = 0);
  // The ranges one after the other over one connection; a large fetch (the entries of a
  // differential update) in pieces over several, as many as still raise the rate, the sink
  // still taking them in order. A connection cut within a range is asked again for the rest of
  // it a few times before the fetch fails.
  static void FetchRanges(const RangeTask& task);
  // Copy the task into a new detached worker and return once it has taken it over.
  static void StartDownload(DownloadTask task);
  static void StartRequest(RequestTask task);
};

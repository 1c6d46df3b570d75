#pragma once
// The only place the launcher talks to the network: blocking transfers over the libcurl easy
// interface, HTTPS only, and starters that run them on detached workers. Nothing throws or
// returns a status: every outcome, progress included, arrives through the task's TransferCallback
// on the worker.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// (event, message, first, second). Downloads: "trans", then "succ" or "fail". Requests: "trans",
// then "succ", "timeout" or "error".
using TransferCallback = std::function<void(const std::string& event, const std::string& message,
                                            double first, double second)>;

// The largest document a request keeps: a fileInfo listing 100 000 files is a few MiB; a longer
// response is an error, and the transfer stops there.
constexpr uint64_t kMaxDocumentBytes = 16u << 20;

struct DownloadTask {
  uint64_t resumeOffset = 0;  // bytes already in the local file; 0 starts a fresh file
  std::string localPath;      // the package file the body is written to
  TransferCallback callback;
  std::string url;
  // The length the local file may reach, when the package's size is known: a body that runs
  // past it is written up to it and the download fails there.
  std::optional<uint64_t> maxBytes;
};

struct RequestTask {
  std::string url;
  std::string body;
  TransferCallback callback;
  int connectTimeout = 0;  // seconds, handed to libcurl
  int timeoutMs = 0;       // the whole request, connect included; 0: no limit but libcurl's own
};

class HttpUtil {
 public:
  static void DownloadFile(const DownloadTask& task);
  // The response body is kept up to kMaxDocumentBytes; a longer one is an "error".
  static void Request(const std::string& url, const std::string& body,
                      const TransferCallback& callback, const std::string& method,
                      int connectTimeout, int timeoutMs = 0);
  // Copy the task into a new detached worker and return once it has taken it over.
  static void StartDownload(DownloadTask task);
  static void StartRequest(RequestTask task);
};

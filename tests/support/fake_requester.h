#pragma once
// Stands in for the HTTP client under the fallback requester: answers each request on a thread
// of its own from a table keyed by the URL without its query, and remembers every URL asked for.

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_util.h"

namespace testing_support {

struct FakeResponse {
  std::string event = "succ";  // "succ", "error", "timeout", "fail", or "hang" (never answers)
  std::string body;
  int delayMs = 0;
};

class FakeRequester {
 public:
  void Serve(const std::string& urlWithoutQuery, FakeResponse response);
  // Answer for URLs that were not served: "error" by default, like a 404.
  void SetFallback(FakeResponse response);

  // For FetchSettings::startRequest.
  void Start(RequestTask task);

  std::vector<std::string> Requested() const;
  size_t CountRequested(const std::string& urlWithoutQuery) const;
  // Answers every hung request with the given event and body, late.
  void ReleaseHung(const std::string& event, const std::string& body);

 private:
  mutable std::mutex mutex_;
  std::map<std::string, FakeResponse> responses_;
  FakeResponse fallback_{"error", "curl perform fail, ret_code is 404 (No error)", 0};
  std::vector<std::string> requested_;
  std::vector<RequestTask> hung_;
};

std::string WithoutQuery(const std::string& url);

}  // namespace testing_support

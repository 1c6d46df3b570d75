#pragma once
// Fetches one document from a list of URLs: one attempt in flight at a time, attempts spaced by a
// poll interval, and a time budget after which the handler hears "allTimeout".

#include <functional>
#include <string>
#include <vector>

#include "net/http_util.h"

// (status, text): "succ" with the body; "fail" / "onTimeout" with an attempt's message while
// the fetch goes on; "allTimeout" or "fail" with "urls invalid" when it ends without success.
using FetchHandler = std::function<void(const std::string& status, const std::string& text)>;

// The requester's numbers and its two effects, replaceable so tests need not wait 12 seconds.
struct FetchSettings {
  int initialDelayMs = 500;
  int pollIntervalMs = 100;
  int budgetMs = 12000;
  int connectTimeout = 6000;  // handed unchanged to libcurl, which counts it in seconds
  std::function<void(RequestTask)> startRequest = HttpUtil::StartRequest;
  std::function<void(int milliseconds)> sleep;  // empty: the platform's sleep
};

struct FallbackRequest {
  int initialDelayMs = 500;
  int pollIntervalMs = 100;
  int budgetMs = 12000;
  FetchHandler handler;
  std::vector<std::string> urls;
  int connectTimeout = 6000;
};

// Returns at once: after starting the worker, or after telling the handler the list is empty.
void FetchFromAny(const std::vector<std::string>& urls, FetchHandler handler,
                  const FetchSettings& settings = FetchSettings());

#include "update/fallback_request.h"

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>

#include "net/worker.h"
#include "platform/clock.h"

namespace {

// How long an attempt may outlast the budget: enough that the one in flight when the budget
// runs out is dropped by the give-up rather than ending first and making room for another.
constexpr int kAttemptGraceMs = 1000;

// Shared by the worker and every attempt; attempts may outlive the worker.
struct FetchState {
  std::atomic<int> inFlight{0};
  // Set by the first outcome that ends the fetch ("succ" or "allTimeout"): the other one, and
  // any attempt that reports later, is dropped.
  std::atomic<bool> done{false};
  // Held while the handler runs: an attempt's late report that passed the done test could
  // otherwise still be running the handler after the ending outcome has been delivered, when
  // the caller may already have moved on.
  std::mutex reporting;
  FetchHandler handler;
};

// Hands one outcome to the handler unless the fetch has ended; ending marks it ended.
void Report(FetchState& state, const std::string& status, const std::string& text, bool ends) {
  std::lock_guard lock(state.reporting);
  if (state.done.load()) return;
  if (ends) state.done = true;
  state.handler(status, text);
}

struct FetchJob {
  FallbackRequest request;
  FetchSettings settings;
};

void AttemptFinished(const std::shared_ptr<FetchState>& state, const std::string& event,
                     const std::string& message) {
  if (state->done.load()) return;
  if (event == "trans") return;
  state->inFlight = 0;
  if (event == "succ") {
    Report(*state, "succ", message, true);
  } else if (event == "fail") {
    Report(*state, "fail", message, false);
  } else if (event == "timeout") {
    Report(*state, "onTimeout", message, false);
  }
}

void RunFetch(FetchJob& job) {
  const FallbackRequest& request = job.request;
  const auto sleep = [&job](int ms) {
    if (job.settings.sleep) {
      job.settings.sleep(ms);
    } else {
      platform::SleepMs(static_cast<uint32_t>(ms));
    }
  };
  auto state = std::make_shared<FetchState>();
  state->handler = request.handler;

  sleep(request.initialDelayMs);
  int elapsed = 0;
  size_t index = 0;
  for (bool first = true;; first = false) {
    if (!first) {
      sleep(request.pollIntervalMs);
      elapsed += request.pollIntervalMs;
    }
    if (state->done.load()) return;
    if (elapsed > request.budgetMs) {
      Report(*state, "allTimeout", "urls invalid", true);
      return;
    }
    if (state->inFlight.load() != 0) continue;

    state->inFlight = 1;
    index = (index + 1) % request.urls.size();
    RequestTask task;
    task.url = request.urls[index];
    task.connectTimeout = request.connectTimeout;
    // The connect time-out alone lets a silent server hold an attempt for hours, and a trickle
    // passes the low-speed rule for ever: an attempt gets the rest of the budget and a moment
    // more, so that once the fetch has given up no thread of its own is left behind.
    task.timeoutMs = request.budgetMs + request.pollIntervalMs - elapsed + kAttemptGraceMs;
    task.callback = [state](const std::string& event, const std::string& message, double, double) {
      AttemptFinished(state, event, message);
    };
    try {
      job.settings.startRequest(std::move(task));
    } catch (const std::exception&) {
      state->inFlight = 0;  // no thread for this attempt; the next cycle tries again
    }
  }
}

}  // namespace

void FetchFromAny(const std::vector<std::string>& urls, FetchHandler handler,
                  const FetchSettings& settings) {
  if (urls.empty()) {
    handler("fail", "urls invalid");
    return;
  }
  FetchJob job;
  job.request.initialDelayMs = settings.initialDelayMs;
  job.request.pollIntervalMs = settings.pollIntervalMs;
  job.request.budgetMs = settings.budgetMs;
  job.request.connectTimeout = settings.connectTimeout;
  job.request.handler = std::move(handler);
  job.request.urls = urls;
  job.settings = settings;
  // A fetch that cannot go on ends as one that ran out of time, with the check's time-out box.
  StartWorker(std::move(job), RunFetch, [](FetchJob& own, const std::string& what) {
    own.request.handler("allTimeout", what);
  });
}

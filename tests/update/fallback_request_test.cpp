#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/fake_requester.h"
#include "update/fallback_request.h"

using namespace std::chrono_literals;
using testing_support::FakeRequester;
using testing_support::FakeResponse;
using Clock = std::chrono::steady_clock;

namespace {

struct Heard {
  std::string status;
  std::string text;
  Clock::time_point at;
  std::thread::id thread;
};

// Collects what the handler hears, from whichever thread it runs on.
class Listener {
 public:
  FetchHandler Handler() {
    return [this](const std::string& status, const std::string& text) {
      std::lock_guard lock(mutex_);
      heard_.push_back({status, text, Clock::now(), std::this_thread::get_id()});
      changed_.notify_all();
    };
  }
  // Waits for a status that ends a fetch.
  bool WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const Heard& h : heard_) {
        if (h.status == "succ" || h.status == "allTimeout") return true;
      }
      return false;
    });
  }
  std::vector<Heard> Heard_() {
    std::lock_guard lock(mutex_);
    return heard_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Heard> heard_;
};

FetchSettings Quick(FakeRequester& requester) {
  FetchSettings settings;
  settings.initialDelayMs = 20;
  settings.pollIntervalMs = 10;
  settings.budgetMs = 200;
  settings.startRequest = [&requester](RequestTask task) { requester.Start(std::move(task)); };
  return settings;
}

}  // namespace

TEST(FetchFromAny, FirstAttemptStartsAfterTheInitialDelayAndSuccessIsHeardOnce) {
  FakeRequester requester;
  requester.Serve("https://a/doc", {"succ", "body", 0});
  FetchSettings settings = Quick(requester);
  settings.initialDelayMs = 500;
  Listener listener;

  const auto start = Clock::now();
  FetchFromAny({"https://a/doc?rand=1"}, listener.Handler(), settings);
  ASSERT_TRUE(listener.WaitForEnd(3s));
  std::this_thread::sleep_for(50ms);  // nothing more may follow

  const auto heard = listener.Heard_();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].status, "succ");
  EXPECT_EQ(heard[0].text, "body");
  EXPECT_GE(heard[0].at - start, 500ms);
  EXPECT_LT(heard[0].at - start, 900ms);
  EXPECT_EQ(requester.Requested().size(), 1u);
}

TEST(FetchFromAny, FailingAttemptsAreRetriedEachCycleUntilTheBudgetRunsOut) {
  FakeRequester requester;
  requester.SetFallback({"error", "curl perform fail, ret_code is 500 (No error)", 0});
  Listener listener;
  FetchFromAny({"https://a/doc"}, listener.Handler(), Quick(requester));
  ASSERT_TRUE(listener.WaitForEnd(3s));

  const auto heard = listener.Heard_();
  ASSERT_EQ(heard.size(), 1u);  // "error" attempts are not forwarded
  EXPECT_EQ(heard[0].status, "allTimeout");
  EXPECT_EQ(heard[0].text, "urls invalid");
  // One attempt per cycle at most: 21 cycles (elapsed 0..200) with answers that come at once. A
  // loaded machine oversleeps cycles, so only "more than a couple" is certain below.
  EXPECT_GE(requester.Requested().size(), 3u);
  EXPECT_LE(requester.Requested().size(), 21u);
}

TEST(FetchFromAny, FailAndTimeoutAttemptsAreForwardedWhileTheFetchGoesOn) {
  FakeRequester requester;
  requester.Serve("https://a/doc", {"timeout", "curl perform fail, ret_code is 408 (No error)", 0});
  requester.Serve("https://b/doc", {"fail", "broken", 0});
  Listener listener;
  FetchFromAny({"https://a/doc", "https://b/doc"}, listener.Handler(), Quick(requester));
  ASSERT_TRUE(listener.WaitForEnd(3s));

  const auto heard = listener.Heard_();
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(heard[0].status, "fail");  // the first attempt goes to the second URL
  EXPECT_EQ(heard[0].text, "broken");
  EXPECT_EQ(heard[1].status, "onTimeout");
  EXPECT_EQ(heard[1].text, "curl perform fail, ret_code is 408 (No error)");
  EXPECT_EQ(heard.back().status, "allTimeout");
}

TEST(FetchFromAny, TwoUrlsStartWithTheSecond) {
  FakeRequester requester;
  Listener listener;
  FetchFromAny({"https://first/doc", "https://second/doc"}, listener.Handler(), Quick(requester));
  ASSERT_TRUE(listener.WaitForEnd(3s));
  const auto requested = requester.Requested();
  ASSERT_GE(requested.size(), 3u);
  EXPECT_EQ(requested[0], "https://second/doc");
  EXPECT_EQ(requested[1], "https://first/doc");
  EXPECT_EQ(requested[2], "https://second/doc");
}

TEST(FetchFromAny, HungAttemptBlocksFurtherAttemptsAndItsLateSuccessIsDropped) {
  FakeRequester requester;
  requester.SetFallback({"hang", "", 0});
  Listener listener;
  FetchFromAny({"https://a/doc"}, listener.Handler(), Quick(requester));
  ASSERT_TRUE(listener.WaitForEnd(3s));
  EXPECT_EQ(requester.Requested().size(), 1u);

  requester.ReleaseHung("succ", "too late");
  const auto heard = listener.Heard_();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].status, "allTimeout");
}

TEST(FetchFromAny, DefaultNumbersGiveUpInTheCycleWhereElapsedReaches12100) {
  // A virtual clock: the worker's sleeps advance it instead of waiting.
  std::atomic<long long> virtualMs{0};
  FakeRequester requester;
  requester.SetFallback({"hang", "", 0});
  FetchSettings settings;  // 500, 100, 12000
  settings.startRequest = [&requester](RequestTask task) { requester.Start(std::move(task)); };
  settings.sleep = [&virtualMs](int ms) { virtualMs += ms; };
  EXPECT_EQ(settings.initialDelayMs, 500);
  EXPECT_EQ(settings.pollIntervalMs, 100);
  EXPECT_EQ(settings.budgetMs, 12000);
  EXPECT_EQ(settings.connectTimeout, 6000);

  // Shared with the worker: its set_value may still be running when the test returns.
  auto endedAt = std::make_shared<std::promise<long long>>();
  auto endedFuture = endedAt->get_future();
  FetchFromAny({"https://a/doc"},
               [&virtualMs, endedAt](const std::string& status, const std::string&) {
                 if (status == "allTimeout") endedAt->set_value(virtualMs.load());
               },
               settings);
  ASSERT_EQ(endedFuture.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(endedFuture.get(), 500 + 12100);
}

TEST(FetchFromAny, ConnectTimeoutReachesTheRequest) {
  auto seen = std::make_shared<std::promise<int>>();
  auto seenFuture = seen->get_future();
  FetchSettings settings;
  settings.initialDelayMs = 0;
  settings.startRequest = [seen](RequestTask task) {
    seen->set_value(task.connectTimeout);
    task.callback("succ", "", 0, 0);
  };
  FetchFromAny({"https://a/doc"}, [](const std::string&, const std::string&) {}, settings);
  ASSERT_EQ(seenFuture.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(seenFuture.get(), 6000);
}

TEST(FetchFromAny, EmptyListFailsAtOnceOnTheCallingThread) {
  Listener listener;
  FetchFromAny({}, listener.Handler());
  const auto heard = listener.Heard_();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].status, "fail");
  EXPECT_EQ(heard[0].text, "urls invalid");
  EXPECT_EQ(heard[0].thread, std::this_thread::get_id());
}

// Each attempt may run for what is left of the budget and a second more, so none outlives the
// fetch by longer; the connect time-out is handed on unchanged.
TEST(FetchFromAny, EachAttemptIsLimitedToTheRestOfTheBudgetAndASecond) {
  std::vector<RequestTask> started;
  FetchSettings settings;
  settings.initialDelayMs = 0;
  settings.pollIntervalMs = 10;
  settings.budgetMs = 200;
  settings.sleep = [](int) {};  // only the counted time matters here
  settings.startRequest = [&started](RequestTask task) {
    started.push_back(task);
    task.callback("error", "curl perform fail, ret_code is 500 (No error)", 0, 0);
  };
  Listener listener;
  FetchFromAny({"https://a/doc"}, listener.Handler(), settings);
  ASSERT_TRUE(listener.WaitForEnd(3s));

  ASSERT_EQ(started.size(), 21u);  // at elapsed 0, 10, ..., 200
  for (size_t i = 0; i < started.size(); ++i) {
    const int elapsed = static_cast<int>(i) * 10;
    EXPECT_EQ(started[i].timeoutMs, 200 + 10 - elapsed + 1000) << i;
    EXPECT_EQ(started[i].connectTimeout, 6000);
  }
}

// The fallback requester over the real HTTP client against the loopback HTTPS server.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/https_test_server.h"
#include "tests/support/transfer_recorder.h"
#include "update/fallback_request.h"

using namespace std::chrono_literals;
using testing_support::HttpsTestServer;
using testing_support::Reply;
using Clock = std::chrono::steady_clock;

namespace {

class Statuses {
 public:
  FetchHandler Handler() {
    return [this](const std::string& status, const std::string& text) {
      std::lock_guard lock(mutex_);
      heard_.push_back({status, text});
      if (status == "succ" || status == "allTimeout") endedAt_ = Clock::now();
      changed_.notify_all();
    };
  }
  bool WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return endedAt_ != Clock::time_point(); });
  }
  std::vector<std::pair<std::string, std::string>> Heard() {
    std::lock_guard lock(mutex_);
    return heard_;
  }
  Clock::time_point EndedAt() {
    std::lock_guard lock(mutex_);
    return endedAt_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<std::string, std::string>> heard_;
  Clock::time_point endedAt_{};
};

FetchSettings Short() {
  FetchSettings settings;
  settings.initialDelayMs = 50;
  settings.pollIntervalMs = 20;
  settings.budgetMs = 600;
  return settings;
}

}  // namespace

TEST(FetchFromAnyOverHttps, FirstAttemptAfterTheDefaultDelayBringsTheDocument) {
  HttpsTestServer server;
  server.Serve("/sq1/config.json", R"({"lastVersion":"1.0.0"})");
  Statuses statuses;
  FetchSettings settings;  // the real 500 ms delay
  const auto start = Clock::now();
  FetchFromAny({server.Url("/sq1/config.json?rand=7")}, statuses.Handler(), settings);
  ASSERT_TRUE(statuses.WaitForEnd(5s));
  const auto heard = statuses.Heard();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].first, "succ");
  EXPECT_EQ(heard[0].second, R"({"lastVersion":"1.0.0"})");
  EXPECT_GE(statuses.EndedAt() - start, 500ms);
  EXPECT_EQ(server.RequestCount("/sq1/config.json"), 1);
}

TEST(FetchFromAnyOverHttps, MissingDocumentIsAskedForAgainUntilTheBudgetRunsOut) {
  HttpsTestServer server;  // nothing served: 404 for every attempt
  Statuses statuses;
  FetchFromAny({server.Url("/sq1/config.json")}, statuses.Handler(), Short());
  ASSERT_TRUE(statuses.WaitForEnd(10s));
  const auto heard = statuses.Heard();
  ASSERT_EQ(heard.size(), 1u);  // "error" attempts are not forwarded
  EXPECT_EQ(heard[0].first, "allTimeout");
  EXPECT_GT(server.RequestCount("/sq1/config.json"), 3);
}

TEST(FetchFromAnyOverHttps, RequestTimeoutIsForwardedAsOnTimeout) {
  HttpsTestServer server;
  server.Serve("/sq1/config.json", Reply::Status(408));
  Statuses statuses;
  FetchFromAny({server.Url("/sq1/config.json")}, statuses.Handler(), Short());
  ASSERT_TRUE(statuses.WaitForEnd(10s));
  const auto heard = statuses.Heard();
  ASSERT_GE(heard.size(), 2u);
  EXPECT_EQ(heard[0].first, "onTimeout");
  EXPECT_EQ(heard[0].second, "curl perform fail, ret_code is 408 (No error)");
  EXPECT_EQ(heard.back().first, "allTimeout");
}

TEST(FetchFromAnyOverHttps, HungAttemptBlocksTheNextAndItsLateAnswerIsDropped) {
  HttpsTestServer server;
  server.Serve("/sq1/config.json", Reply::Body("{}").StallingBeforeHeaders(1500ms));
  Statuses statuses;
  FetchFromAny({server.Url("/sq1/config.json")}, statuses.Handler(), Short());
  ASSERT_TRUE(statuses.WaitForEnd(5s));
  std::this_thread::sleep_for(1500ms);  // the hung request answers "succ" after the give-up
  const auto heard = statuses.Heard();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].first, "allTimeout");
  EXPECT_EQ(server.RequestCount("/sq1/config.json"), 1);
}

TEST(FetchFromAnyOverHttps, TwoServersAreTriedSecondFirst) {
  HttpsTestServer first;
  HttpsTestServer second;
  first.Serve("/sq1/config.json", "from first");
  second.Serve("/sq1/config.json", Reply::Status(500));
  Statuses statuses;
  FetchFromAny({first.Url("/sq1/config.json"), second.Url("/sq1/config.json")}, statuses.Handler(),
               Short());
  ASSERT_TRUE(statuses.WaitForEnd(5s));
  EXPECT_EQ(statuses.Heard().back(), (std::pair<std::string, std::string>{"succ", "from first"}));
  EXPECT_EQ(second.RequestCount("/sq1/config.json"), 1);
  EXPECT_EQ(first.RequestCount("/sq1/config.json"), 1);
}

// A server that trickles passes the low-speed rule, and one that never finishes its handshake
// only meets the connect time-out of 6000 seconds: the attempt the fetch gives up on must end
// all the same, shortly after.
TEST(FetchFromAnyOverHttps, AnAttemptAbandonedByTheBudgetEndsSoonAfter) {
  HttpsTestServer server;
  server.Serve("/sq1/config.json", Reply::Body(std::string(100000, 'x')).Trickling(100ms));
  Statuses statuses;
  testing_support::TransferRecorder attempt;
  FetchSettings settings = Short();
  settings.startRequest = [seen = attempt.Callback()](RequestTask task) {
    task.callback = [seen, own = task.callback](const std::string& event, const std::string& message,
                                                double first, double second) {
      seen(event, message, first, second);
      own(event, message, first, second);
    };
    HttpUtil::StartRequest(std::move(task));
  };
  FetchFromAny({server.Url("/sq1/config.json")}, statuses.Handler(), settings);
  ASSERT_TRUE(statuses.WaitForEnd(5s));
  EXPECT_EQ(statuses.Heard().back().first, "allTimeout");
  // The budget is 600 ms: the attempt may outlive it by about a second, not by the hours the
  // trickle would take.
  ASSERT_TRUE(attempt.WaitForFinal(4s));
  EXPECT_EQ(attempt.Final().event, "error");
  EXPECT_EQ(server.RequestCount("/sq1/config.json"), 1);
}

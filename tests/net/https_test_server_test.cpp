// The loopback server's own scripting, as later suites rely on it.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net/http_util.h"
#include "tests/support/https_test_server.h"
#include "tests/support/transfer_recorder.h"

namespace {

using namespace std::chrono_literals;
using testing_support::HttpsTestServer;
using testing_support::Reply;
using testing_support::TransferRecorder;

std::string Fetch(const std::string& url) {
  TransferRecorder recorder;
  testing::internal::CaptureStdout();
  HttpUtil::Request(url, "", recorder.Callback(), "GET", 5);
  testing::internal::GetCapturedStdout();
  const auto last = recorder.Final();
  return last.event + ":" + (last.event == "succ" ? last.message : "");
}

TEST(HttpsTestServer, SuccessiveRepliesThenTheLastRepeatsAndRequestsAreCounted) {
  HttpsTestServer server;
  server.Serve("/doc", std::vector<Reply>{Reply::Status(500), Reply::Body("second")});

  EXPECT_EQ(Fetch(server.Url("/doc?n=1")), "error:");
  EXPECT_EQ(Fetch(server.Url("/doc?n=2")), "succ:second");
  EXPECT_EQ(Fetch(server.Url("/doc?n=3")), "succ:second");
  EXPECT_EQ(Fetch(server.Url("/other")), "error:");

  EXPECT_EQ(server.RequestCount("/doc"), 3);
  EXPECT_EQ(server.RequestCount("/other"), 1);
  EXPECT_EQ(server.Requests()[1].target, "/doc?n=2");
  server.ClearRequests();
  EXPECT_TRUE(server.RequestedPaths().empty());
}

TEST(HttpsTestServer, TrickleSendsOneBytePerInterval) {
  HttpsTestServer server;
  server.Serve("/slow", Reply::Body("abcde").Trickling(40ms));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch(server.Url("/slow")), "succ:abcde");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

TEST(HttpsTestServer, StopEndsAStallAtOnce) {
  HttpsTestServer server;
  server.Serve("/stall", Reply::Body("x").StallingBeforeHeaders(60s));
  TransferRecorder recorder;
  RequestTask task{server.Url("/stall"), "", recorder.Callback(), 5};
  testing::internal::CaptureStdout();
  HttpUtil::StartRequest(task);
  while (server.RequestCount("/stall") == 0) std::this_thread::sleep_for(1ms);

  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  ASSERT_TRUE(recorder.WaitForFinal(10s));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(recorder.Final().event, "error");
}

}  // namespace

// The starters hand their task to a worker and return: the caller's task may go at once.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "net/http_util.h"
#include "tests/support/https_test_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/transfer_recorder.h"

namespace {

using namespace std::chrono_literals;
using testing_support::HttpsTestServer;
using testing_support::ReadFile;
using testing_support::TransferEvent;
using testing_support::TransferRecorder;

class HttpStarters : public testing_support::InTempDir {
 protected:
  HttpsTestServer server;
  TransferRecorder recorder;
};

TEST_F(HttpStarters, DownloadRunsOnAWorkerAfterTheCallersTaskIsGone) {
  const std::string body(250000, 'p');
  server.Serve("/pkg.zip", body);

  testing::internal::CaptureStdout();
  {
    auto task = std::make_unique<DownloadTask>();
    task->localPath = "pkg.zip";
    task->callback = recorder.Callback();
    task->url = server.Url("/pkg.zip");
    HttpUtil::StartDownload(*task);
    task.reset();
  }
  ASSERT_TRUE(recorder.WaitForFinal(30s));
  testing::internal::GetCapturedStdout();

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "succ");
  EXPECT_NE(last.thread, std::this_thread::get_id());
  EXPECT_EQ(ReadFile("pkg.zip"), body);
}

TEST_F(HttpStarters, RequestIsAGetOnAWorkerAfterTheCallersTaskIsGone) {
  server.Serve("/doc", "document");

  testing::internal::CaptureStdout();
  {
    auto task = std::make_unique<RequestTask>();
    task->url = server.Url("/doc?rand=7");
    task->body = "ignored";
    task->callback = recorder.Callback();
    task->connectTimeout = 5;
    HttpUtil::StartRequest(*task);
    task.reset();
  }
  ASSERT_TRUE(recorder.WaitForFinal(30s));
  testing::internal::GetCapturedStdout();

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "succ");
  EXPECT_EQ(last.message, "document");
  EXPECT_NE(last.thread, std::this_thread::get_id());
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/doc?rand=7");
}

}  // namespace

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "install/zip_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using testing_support::CompressibleText;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::SuccessfulRun;
using testing_support::UnzipEvent;
using testing_support::UnzipRecorder;
using testing_support::ZipBuilder;

namespace {

using namespace std::chrono_literals;

class StartUnzipTest : public InTempDir {};

TEST_F(StartUnzipTest, EventsArriveOnTheWorkerAfterTheCallerDroppedItsTask) {
  ZipBuilder().AddFile("a/one.txt", "1").AddFile("two.txt", "2").WriteTo("pack.zip");
  UnzipRecorder recorder;

  testing::internal::CaptureStdout();
  {
    UnzipTask task{"pack.zip", "out", recorder.Callback()};
    ZipUtil::StartUnzip(task);
    task.zipPath = "changed.zip";
    task.destDir = "elsewhere";
  }
  const bool ended = recorder.WaitForEnd(10s);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ended);

  EXPECT_EQ(recorder.Events(), SuccessfulRun({"a/one.txt", "two.txt"}));
  EXPECT_EQ(log, "start unzip\nend unzip\n");
  const std::vector<std::thread::id> threads = recorder.Threads();
  ASSERT_EQ(threads.size(), 3u);
  for (const std::thread::id& id : threads) {
    EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(id, threads.front());
  }
  EXPECT_EQ(ReadFile("out/a/one.txt"), "1");
  EXPECT_FALSE(std::filesystem::exists("elsewhere"));
}

TEST_F(StartUnzipTest, FailureIsReportedThroughTheCallback) {
  UnzipRecorder recorder;

  testing::internal::CaptureStdout();
  ZipUtil::StartUnzip({"missing.zip", "out", recorder.Callback()});
  const bool ended = recorder.WaitForEnd(10s);
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ended);

  EXPECT_EQ(recorder.Events(),
            (std::vector<UnzipEvent>{{"fail", "open zip file fail: missing.zip", 0, 0}}));
}

TEST_F(StartUnzipTest, WithoutCallbackTheWorkerStillExtracts) {
  const std::string text = CompressibleText(200000);
  ZipBuilder().AddFile("data.txt", text).AddFile("done.txt", "done").WriteTo("pack.zip");

  testing::internal::CaptureStdout();
  ZipUtil::StartUnzip({"pack.zip", "out", UnzipCallback()});
  // Nothing reports the end: watch for the last entry's complete content instead.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (ReadFile("out/done.txt") != "done" && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(2ms);
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ReadFile("out/done.txt"), "done");
  EXPECT_EQ(ReadFile("out/data.txt"), text);
}

}  // namespace

// The launcher's log in its working directory, written by the copy that runs and left alone by
// a second start.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "platform/files.h"
#include "tests/support/https_test_server.h"
#include "tests/support/launcher_process.h"
#include "tests/support/published_game.h"
#include "tests/support/run_log_lines.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

class LauncherRunLogTest : public InTempDir {
 protected:
  LauncherRunLogTest() : server_(LauncherTestPort()) {}

  bool HoldsLogOpen(const LauncherProcess& launcher) const {
    for (const LauncherProcess::OpenFile& file : launcher.OpenFiles()) {
      if (file.writable && file.path == dir() + "/tidewake.log") return true;
    }
    return false;
  }

  HttpsTestServer server_;
};

TEST_F(LauncherRunLogTest, InstallLeavesItsDiagnosticsStampedInTheLog) {
  const GamePackage package = MakeGamePackage("1.0.0");
  Publish(server_, package);

  LauncherProcess launcher(dir(), {});
  const LauncherOutcome outcome = launcher.Wait(60s);
  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0);

  const std::vector<std::string> lines = StampedLines("tidewake.log");
  const std::string download =
      "download succ from https://localhost:" + std::to_string(server_.port()) +
      "/PCDownload/sq1/" + package.zipName + " to " + package.zipName;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "curlcode = 0, ret_code = 200"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), download), lines.end()) << download;
  // The same lines as standard output has, less its blank ones.
  EXPECT_NE(outcome.out.find("curlcode = 0, ret_code = 200\n"), std::string::npos);
  EXPECT_FALSE(platform::PathExists("tidewake.1.log"));
}

TEST_F(LauncherRunLogTest, SecondStartLeavesTheRunningCopysLogAlone) {
  WriteFile("tidewake.log", "the run before\r\n");
  server_.Serve(ServerPath("Marlwood77301/config.json"),
                Reply::Body("{}").StallingBeforeHeaders(30s));
  LauncherProcess first(dir(), {});
  ASSERT_TRUE(Eventually([&] { return HoldsLogOpen(first); }, 10s));
  ASSERT_EQ(ReadFile("tidewake.1.log"), "the run before\r\n");

  LauncherProcess second(dir(), {});
  const LauncherOutcome outcome = second.Wait(5s);
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exitCode, 0);

  EXPECT_EQ(ReadFile("tidewake.1.log"), "the run before\r\n");
  EXPECT_TRUE(HoldsLogOpen(first));
  EXPECT_TRUE(first.Running());
  first.Kill();
}

}  // namespace

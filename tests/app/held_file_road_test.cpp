// The Windows launcher installing over a game file that another Wine program holds without
// sharing, as a virus scanner or a game that is still ending would: let go two seconds after the
// launcher met it, the install goes on; held for good, the extraction's failure box comes once
// the launcher has waited, and nothing else is touched. (Linux has no sharing modes: its cases
// are in tests/install/held_file_test.cpp.)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "fs/download_record.h"
#include "platform/files.h"
#include "tests/support/launcher_road_fixture.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

// The launcher's diagnostic for the first retry on the held file (the extraction's opening or the
// staged install's move), read from its run log (written as it goes; its standard output may
// reach the pipe only at its end).
constexpr const char* kRetryLine = "held by another program, retry 1 in 50 ms";

// tests/win32/file_holder.cpp under Wine, in the launcher's working directory.
class FileHolder {
 public:
  FileHolder(const WineSetup& wine, const std::string& workingDirectory,
             const std::string& windowsPath, const std::string& letGo) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string program =
        (std::filesystem::path(wine.launcher).parent_path() / "tests" / "tidewake_file_holder.exe")
            .string();
    pid_ =
        SpawnUnderWine(wine, program, {windowsPath, letGo}, workingDirectory, {in[0], out[1], -1});
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~FileHolder() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0) ::close(in_);
    if (out_ >= 0) ::close(out_);
  }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  // Waits until the holder printed the word; false at the deadline or when it ended first.
  bool Said(const std::string& word, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (said_.find(word) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left <= 0ms || out_ < 0) return false;
      pollfd ready{out_, POLLIN, 0};
      if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[256];
      const ssize_t got = ::read(out_, buffer, sizeof buffer);
      if (got <= 0) return said_.find(word) != std::string::npos;
      said_.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }
  // Starts the count of the milliseconds it was given.
  void StartLettingGo() { (void)!::write(in_, "go\n", 3); }
  const std::string& said() const { return said_; }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string said_;
};

class HeldFileRoadTest : public LauncherRoadFixture, public testing::WithParamInterface<Platform> {
 protected:
  void SetUp() override { StartOn(GetParam()); }

  // The game's program, left by an earlier install, held by another program.
  void HoldTheGameProgram(const std::string& letGo) {
    WriteFile("Kelpstone/runa3D.exe", "earlier program");
    WriteFile("Kelpstone/data/readme.txt", "earlier readme\n");
    holder_.emplace(*wine_, dir(), "Kelpstone\\runa3D.exe", letGo);
    ASSERT_TRUE(holder_->Said("holding", 60s)) << holder_->said();
  }

  std::optional<FileHolder> holder_;
};

TEST_P(HeldFileRoadTest, ProgramLetGoTwoSecondsAfterTheLauncherMetItIsInstalledAndStarted) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  ASSERT_NO_FATAL_FAILURE(HoldTheGameProgram("2000"));

  // Cancel at any box: a launcher that does not wait ends there.
  LauncherProcess launcher(dir(), {"held"}, Options("cancel"));
  const auto retrying = [] {
    return ReadFile("tidewake.log").find(kRetryLine) != std::string::npos;
  };
  ASSERT_TRUE(Eventually([&] { return retrying() || !launcher.Running(); }, 90s));
  ASSERT_TRUE(retrying()) << launcher.Out() << launcher.Err();
  holder_->StartLettingGo();

  const LauncherOutcome outcome = launcher.Wait(60s);
  EXPECT_TRUE(holder_->Said("let go", 5s));
  ASSERT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err.find("caption="), std::string::npos) << outcome.out << outcome.err;
  EXPECT_EQ(GameReceived(), Received({"held"}));
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.0\n");
  EXPECT_FALSE(platform::PathExists("Marlwood77301"));
}

TEST_P(HeldFileRoadTest, ProgramHeldForGoodGetsTheFailureBoxAfterTheWaitAndTheRestStays) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  ASSERT_NO_FATAL_FAILURE(HoldTheGameProgram("never"));

  LauncherProcess launcher(dir(), {}, Options("cancel"));
  const auto retrying = [] {
    return ReadFile("tidewake.log").find(kRetryLine) != std::string::npos;
  };
  ASSERT_TRUE(Eventually([&] { return retrying() || !launcher.Running(); }, 90s));
  const auto met = std::chrono::steady_clock::now();
  ASSERT_TRUE(retrying()) << launcher.Out() << launcher.Err();

  const LauncherOutcome outcome = launcher.Wait(60s);
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - met).count();
  ASSERT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find(Shown("解压文件失败！")), std::string::npos) << outcome.err;
  // About ten seconds of retries, then the box, answered at once.
  EXPECT_GE(waited, 9.5) << outcome.out;
  EXPECT_LT(waited, 20.0);
  EXPECT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
  // The held file and the files after it are as they were; the package is kept for the retry.
  EXPECT_EQ(ReadFile("Kelpstone/runa3D.exe"), "earlier program");
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "earlier readme\n");
  EXPECT_EQ(platform::FileSize(package.zipName), package.bytes.size());
  ForgetDownloadRecord();
  EXPECT_EQ(DownloadRecordValue("installPending"), package.zipName);
}

// Wine only: on Linux no program can hold a file against another.
INSTANTIATE_TEST_SUITE_P(Windows, HeldFileRoadTest, testing::Values(Platform::Windows),
                         PlatformParamName);

}  // namespace

// Files another program holds for a moment: the Linux backend fails its calls on them as busy
// while a case asks (platform/injected_holds.h), and one case meets a real busy file, a program
// that is still running. The Windows twins hold files with a second process under Wine
// (tests/app/held_file_road_test.cpp).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "fs/download_record.h"
#include "fs/locked_file_retry.h"
#include "install/clean_up.h"
#include "install/zip_util.h"
#include "platform/files.h"
#include "platform/injected_holds.h"
#include "tests/support/launcher_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using namespace std::chrono_literals;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

constexpr auto kWindow = 1000ms;

// The game's package: its program, a file that an earlier version left, one more after it.
void WritePackage() {
  ZipBuilder()
      .AddExecutable("runa3D.exe", "new program")
      .AddExecutable("CrashReporter.exe", "new reporter")
      .AddDirectory("data/")
      .AddFile("data/readme.txt", "new readme")
      .AddFile("data/after.txt", "new after")
      .WriteTo("game.zip");
}

bool Install() { return ZipUtil::Unzip("game.zip", "Kelpstone", {}); }

struct HeldFileCase {
  const char* name;
  const char* heldPath;  // the file or folder the other program holds
  std::function<void()> prepare;
  std::function<bool()> operation;
  // What the operation left when the file was let go, and when it was held for good.
  std::function<void()> expectDone;
  std::function<void()> expectUntouched;
};

const HeldFileCase kCases[] = {
    {"ExtractedFile", "Kelpstone/data/readme.txt",
     [] {
       WritePackage();
       WriteFile("Kelpstone/data/readme.txt", "old readme");
       WriteFile("Kelpstone/data/after.txt", "old after");
     },
     Install,
     [] {
       EXPECT_EQ(ReadFile("Kelpstone/runa3D.exe"), "new program");
       EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "new readme");
       EXPECT_EQ(ReadFile("Kelpstone/data/after.txt"), "new after");
     },
     [] {
       // The extraction ends at the held file: it and what follows keep their bytes.
       EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "old readme");
       EXPECT_EQ(ReadFile("Kelpstone/data/after.txt"), "old after");
       EXPECT_TRUE(platform::PathExists("game.zip"));
     }},
    {"PackageInThePackageFolder", "Marlwood77301/game_1_0_0.zip",
     [] {
       WriteFile("Marlwood77301/game_1_0_0.zip", "zip");
       WriteFile("Marlwood77301/a/deep.txt", "deep");
     },
     [] {
       RemovePackageFolder("Marlwood77301");
       return !platform::PathExists("Marlwood77301");
     },
     [] { EXPECT_FALSE(platform::PathExists("Marlwood77301")); },
     [] {
       EXPECT_EQ(ReadFile("Marlwood77301/game_1_0_0.zip"), "zip");
       EXPECT_FALSE(platform::PathExists("Marlwood77301/a"));
     }},
    {"PackageFolderItself", "Marlwood77301",
     [] { WriteFile("Marlwood77301/game_1_0_0.zip", "zip"); },
     [] {
       RemovePackageFolder("Marlwood77301");
       return !platform::PathExists("Marlwood77301");
     },
     [] { EXPECT_FALSE(platform::PathExists("Marlwood77301")); },
     [] { EXPECT_TRUE(platform::DirectoryExists("Marlwood77301")); }},
    {"DownloadRecord", "Kelpstone/downloadRecord",
     [] {
       ForgetDownloadRecord();
       ASSERT_TRUE(SaveDownloadRecord("zipName", "Marlwood77301/game_1_0_0.zip"));
     },
     [] { return SaveDownloadRecord("installPending", "Marlwood77301/game_1_0_0.zip"); },
     [] {
       EXPECT_EQ(
           ReadFile("Kelpstone/downloadRecord"),
           "installPending=Marlwood77301/game_1_0_0.zip\r\r\nzipName=Marlwood77301/game_1_0_0.zip");
     },
     [] {
       EXPECT_EQ(ReadFile("Kelpstone/downloadRecord"), "zipName=Marlwood77301/game_1_0_0.zip");
       EXPECT_FALSE(platform::PathExists("Kelpstone/downloadRecord.new"));
     }},
};

void PrintTo(const HeldFileCase& heldCase, std::ostream* out) { *out << heldCase.name; }

class HeldFileTest : public InTempDir, public testing::WithParamInterface<HeldFileCase> {
 protected:
  void SetUp() override {
    SetHeldFileWindow(kWindow);
    GetParam().prepare();
  }
  void TearDown() override {
    platform::testing::ReleaseHeldFiles();
    SetHeldFileWindow(10s);
    ForgetDownloadRecord();
  }

  // Runs the case's operation with standard output captured; its seconds in *seconds.
  bool Run(double* seconds) {
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    const bool done = GetParam().operation();
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    log_ = testing::internal::GetCapturedStdout();
    return done;
  }

  std::string log_;
};

TEST_P(HeldFileTest, LetGoAfterThreeRefusalsTheOperationIsDone) {
  platform::testing::HoldFilesEndingIn(GetParam().heldPath, 3);
  double seconds = 0;
  EXPECT_TRUE(Run(&seconds)) << log_;
  GetParam().expectDone();
  // 50 + 100 + 200 ms of pauses: the retries wait for the other program, they do not spin.
  EXPECT_GE(seconds, 0.35);
}

TEST_P(HeldFileTest, HeldForGoodFailsAtTheEndOfTheWindowAndLeavesTheRest) {
  platform::testing::HoldFilesEndingIn(GetParam().heldPath, -1);
  double seconds = 0;
  EXPECT_FALSE(Run(&seconds)) << log_;
  GetParam().expectUntouched();
  // The last retry comes at the end of the window, and the operation ends with it.
  EXPECT_GE(seconds, 1.0);
  EXPECT_LT(seconds, 3.0);
}

INSTANTIATE_TEST_SUITE_P(Held, HeldFileTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<HeldFileCase>& info) {
                           return std::string(info.param.name);
                         });

class RunningProgramTest : public InTempDir {};

// The game's crash reporter is still ending: Linux refuses to write the program of a running
// process (ETXTBSY), as Windows refuses a file a process holds. Not the game's own program: suites
// running beside this one end every process of the game's name.
TEST_F(RunningProgramTest, ProgramStillRunningIsReplacedOnceItHasEnded) {
  WritePackage();
  std::filesystem::create_directories("Kelpstone");
  std::filesystem::copy_file("/bin/sleep", "Kelpstone/CrashReporter.exe");
  const pid_t game = ::fork();
  ASSERT_GE(game, 0);
  if (game == 0) {
    ::execl("Kelpstone/CrashReporter.exe", "CrashReporter.exe", "0.5", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Running from the file once the kernel names it as the process's program.
  const std::string program = std::filesystem::absolute("Kelpstone/CrashReporter.exe").string();
  const bool running = testing_support::Eventually(
      [&] {
        std::error_code error;
        return std::filesystem::read_symlink("/proc/" + std::to_string(game) + "/exe", error) ==
               program;
      },
      5s);

  testing::internal::CaptureStdout();
  const bool installed = Install();
  const std::string log = testing::internal::GetCapturedStdout();
  int status = 0;
  ::waitpid(game, &status, 0);
  ASSERT_TRUE(running);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(installed) << log;
  // Compared as a whole: the old bytes are a program nobody wants printed.
  EXPECT_TRUE(ReadFile("Kelpstone/CrashReporter.exe") == "new reporter");
  EXPECT_EQ(ReadFile("Kelpstone/data/after.txt"), "new after");
}

}  // namespace

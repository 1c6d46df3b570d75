#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using testing_support::ReadFile;

namespace {

class ProcessTest : public testing_support::InTempDir {
 protected:
  // Copies the sample game into the temporary directory under the given name.
  void InstallGame(const std::string& relative) {
    const std::filesystem::path target(relative);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(TIDEWAKE_SAMPLE_GAME, target);
  }
  bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 200; ++i) {
      if (std::filesystem::exists(path) && !ReadFile(path).empty()) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
};

bool Listed(const std::string& name, uint32_t pid) {
  for (const auto& entry : platform::SnapshotProcesses()) {
    if (entry.pid == pid && entry.exeName == name) return true;
  }
  return false;
}

}  // namespace

TEST_F(ProcessTest, StartsTheProgramRelativeToUsInItsOwnDirectoryWithBlankSplitArguments) {
  InstallGame("Kelpstone/runa3D.exe");
  const std::string directory = dir() + "/Kelpstone";
  ASSERT_TRUE(platform::StartProcess("Kelpstone/runa3D.exe x y z w", directory));
  ASSERT_TRUE(WaitForFile("Kelpstone/game_received.txt"));
  EXPECT_EQ(ReadFile("Kelpstone/game_received.txt"),
            "cwd=" + directory + "\nargc=4\narg1=x\narg2=y\narg3=z\narg4=w\n");
}

TEST_F(ProcessTest, TrailingBlankGivesNoEmptyArgument) {
  InstallGame("Kelpstone/runa3D.exe");
  ASSERT_TRUE(platform::StartProcess("Kelpstone/runa3D.exe ", dir() + "/Kelpstone"));
  ASSERT_TRUE(WaitForFile("Kelpstone/game_received.txt"));
  EXPECT_NE(ReadFile("Kelpstone/game_received.txt").find("argc=0\n"), std::string::npos);
}

TEST_F(ProcessTest, MissingExecutableOrDirectoryFails) {
  EXPECT_FALSE(platform::StartProcess("Kelpstone/runa3D.exe a", dir() + "/Kelpstone"));
  InstallGame("Kelpstone/runa3D.exe");
  EXPECT_FALSE(platform::StartProcess("Kelpstone/runa3D.exe a", dir() + "/Missing"));
  EXPECT_FALSE(platform::StartProcess("", dir()));
}

// The launcher ignores SIGPIPE and its threads may block signals; the game must get neither, and
// must run in its own session so that it outlives the launcher's terminal.
TEST_F(ProcessTest, TheGameGetsItsOwnSessionAndDefaultSignals) {
  // The game is a plain program read from outside: a shell would set its own signal mask.
  std::filesystem::copy_file("/bin/sleep", "tw-probe");
  platform::IgnoreBrokenPipes();
  sigset_t block, previous;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &previous), 0);
  const bool started = platform::StartProcess("tw-probe 30", dir());
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ASSERT_TRUE(started);
  pid_t pid = 0;
  for (int i = 0; i < 200 && pid == 0; ++i) {
    for (const auto& entry : platform::SnapshotProcesses()) {
      if (entry.exeName == "tw-probe") pid = static_cast<pid_t>(entry.pid);
    }
    if (pid == 0) std::this_thread::sleep_for(10ms);
  }
  ASSERT_NE(pid, 0);
  const std::string proc = "/proc/" + std::to_string(pid);
  std::istringstream lines(ReadFile(proc + "/status"));
  std::string line;
  unsigned long long ignored = ~0ull, blocked = ~0ull;
  while (std::getline(lines, line)) {
    if (line.rfind("SigIgn:", 0) == 0) ignored = std::stoull(line.substr(7), nullptr, 16);
    if (line.rfind("SigBlk:", 0) == 0) blocked = std::stoull(line.substr(7), nullptr, 16);
  }
  std::istringstream stat(ReadFile(proc + "/stat"));
  std::string field, sid;
  for (int k = 1; k <= 6 && stat >> field; ++k) sid = field;  // the name "(tw-probe)" has no blank
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);

  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u);
  EXPECT_EQ(blocked & (1ull << (SIGUSR1 - 1)), 0u);
  EXPECT_EQ(sid, std::to_string(pid));
}

TEST_F(ProcessTest, SnapshotFindsAProcessByItsExactNameAndTerminateEndsIt) {
  InstallGame("bin/runa3D.exe");
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("SAMPLE_GAME_LINGER_MS", "20000", 1);
    ::execl("bin/runa3D.exe", "bin/runa3D.exe", nullptr);
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = Listed("runa3D.exe", static_cast<uint32_t>(child));
    if (!seen) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(seen);
  EXPECT_FALSE(Listed("RUNA3D.EXE", static_cast<uint32_t>(child)));

  EXPECT_TRUE(platform::TerminateProcessById(static_cast<uint32_t>(child)));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
}

TEST_F(ProcessTest, AnEndedButUnreapedProcessIsNotListed) {
  InstallGame("bin/runa3D.exe");
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("bin/runa3D.exe", "bin/runa3D.exe", nullptr);
    ::_exit(127);
  }
  // The game ends at once; until we reap it, it stays behind as a zombie.
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(Listed("runa3D.exe", static_cast<uint32_t>(child)));
  ::waitpid(child, nullptr, 0);
}

TEST_F(ProcessTest, LongNamesAreComparedInFullThroughArgvZero) {
  InstallGame("bin/a_rather_long_game_name.exe");
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("SAMPLE_GAME_LINGER_MS", "20000", 1);
    ::execl("bin/a_rather_long_game_name.exe", "bin/a_rather_long_game_name.exe", nullptr);
    ::_exit(127);
  }
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = Listed("a_rather_long_game_name.exe", static_cast<uint32_t>(child));
    if (!seen) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(seen);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(ProgramArguments, AreTheArgumentsAfterTheProgramPath) {
  char program[] = "/path/tidewake";
  char a[] = "x";
  char b[] = "y z";
  char* argv[] = {program, a, b, nullptr};
  platform::SetProgramArguments(3, argv);
  EXPECT_EQ(platform::ProgramArguments(), (std::vector<std::string>{"x", "y z"}));
  platform::SetProgramArguments(1, argv);
  EXPECT_TRUE(platform::ProgramArguments().empty());
}

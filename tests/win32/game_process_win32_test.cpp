// The game launch's Windows half: the Toolhelp walk, TerminateProcess and CreateProcessA in the
// install directory with the launcher's own arguments, against the sample runa3D.exe.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/game_launch.h"
#include "install/game_processes.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;

namespace {

class GameProcessWin32 : public InTempDir {
 protected:
  void SetUp() override {
    std::filesystem::create_directories("Kelpstone");
    std::filesystem::copy_file(TIDEWAKE_SAMPLE_GAME, "Kelpstone/runa3D.exe");
  }
  void TearDown() override {
    for (uint32_t pid : started_) platform::TerminateProcessById(pid);
    ::SetEnvironmentVariableA("SAMPLE_GAME_LINGER_MS", nullptr);
    // Terminated processes let go of their images a moment later; the temp dir goes after.
    WaitUntil([&] { return Pids("runa3D.exe").empty() && Pids("Runa3d.exe").empty(); });
  }

  static std::vector<uint32_t> Pids(const std::string& name) {
    std::vector<uint32_t> pids;
    ForEachProcessNamed(name, [&](const platform::ProcessEntry& entry) {
      pids.push_back(entry.pid);
      return LoopState::Continue;
    });
    return pids;
  }

  static bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
      if (::GetTickCount() - start > timeoutMs) return false;
      ::Sleep(20);
    }
    return true;
  }

  // What the sample game wrote about its start, once it has written it; its text-mode file
  // ends lines with CR LF on Windows.
  static std::string Received(const std::string& directory) {
    const std::string path = directory + "/game_received.txt";
    WaitUntil([&] { return ReadFile(path).find("argc=") != std::string::npos; });
    ::Sleep(50);  // the remaining lines follow the count in the same burst
    std::string text = ReadFile(path);
    std::erase(text, '\r');
    return text;
  }

  std::vector<uint32_t> started_;
};

}  // namespace

TEST_F(GameProcessWin32, GameStartsInTheInstallDirectoryWithTheJoinedArguments) {
  // "y z" is one argument of the launcher and reaches the game as two: arguments are joined unquoted.
  char self[] = "tidewake.exe";
  char x[] = "x";
  char yz[] = "y z";
  char w[] = "w";
  char* argv[] = {self, x, yz, w};
  platform::SetProgramArguments(4, argv);
  EXPECT_EQ(JoinCommandLineArgs(), "x y z w");

  ASSERT_TRUE(CreateGameProcess(JoinCommandLineArgs()));
  const std::string received = Received("Kelpstone");
  EXPECT_EQ(received, "cwd=" + platform::WorkingDirectory() + "\\Kelpstone\nargc=4\narg1=x\n"
                      "arg2=y\narg3=z\narg4=w\n");
}

TEST_F(GameProcessWin32, GameWithoutArgumentsGetsNone) {
  char self[] = "tidewake.exe";
  char* argv[] = {self};
  platform::SetProgramArguments(1, argv);
  EXPECT_EQ(JoinCommandLineArgs(), "");
  ASSERT_TRUE(CreateGameProcess(JoinCommandLineArgs()));
  EXPECT_EQ(Received("Kelpstone"),
            "cwd=" + platform::WorkingDirectory() + "\\Kelpstone\nargc=0\n");
}

TEST_F(GameProcessWin32, MissingGameIsNotStarted) {
  std::filesystem::remove("Kelpstone/runa3D.exe");
  EXPECT_FALSE(CreateGameProcess("a"));
}

TEST_F(GameProcessWin32, WalkFindsTheGameByExactNameAndKillStopsOnlyIt) {
  ::SetEnvironmentVariableA("SAMPLE_GAME_LINGER_MS", "60000");
  const std::vector<uint32_t> before = Pids("runa3D.exe");
  ASSERT_TRUE(before.empty()) << "a sample game from elsewhere is running";
  // Another case of the same name is another program to the launcher.
  std::filesystem::create_directories("other");
  std::filesystem::copy_file(TIDEWAKE_SAMPLE_GAME, "other/Runa3d.exe");
  ASSERT_TRUE(platform::StartProcess("other\\Runa3d.exe", platform::WorkingDirectory() + "\\other"));
  ASSERT_TRUE(CreateGameProcess("first"));
  ASSERT_TRUE(platform::StartProcess("Kelpstone\\runa3D.exe second",
                                     platform::WorkingDirectory() + "\\Kelpstone"));

  ASSERT_TRUE(WaitUntil([&] { return Pids("runa3D.exe").size() == 2 && Pids("Runa3d.exe").size() == 1; }));
  for (uint32_t pid : Pids("runa3D.exe")) started_.push_back(pid);
  for (uint32_t pid : Pids("Runa3d.exe")) started_.push_back(pid);

  // Stop ends the walk at the first match.
  int visited = 0;
  ForEachProcessNamed("runa3D.exe", [&](const platform::ProcessEntry&) {
    ++visited;
    return LoopState::Stop;
  });
  EXPECT_EQ(visited, 1);

  KillGameProcesses("runa3D.exe");
  EXPECT_TRUE(WaitUntil([&] { return Pids("runa3D.exe").empty(); }));
  EXPECT_EQ(Pids("Runa3d.exe").size(), 1u);
}

TEST_F(GameProcessWin32, TerminatingAProcessThatIsGoneFails) {
  // Process ids are multiples of four on Windows; 1 never names a process.
  EXPECT_FALSE(platform::TerminateProcessById(1));
}

// Lines that CommandLineToArgvW splits otherwise than the C runtime: the launcher takes what the
// runtime took, as the game (a program of that runtime) does.
TEST_F(GameProcessWin32, LauncherTakesItsArgumentsAsTheRuntimeSplitsThem) {
  // What the program wrote from "argc=" on, started with the raw text after its name.
  const auto seenBy = [](const std::string& program, const std::wstring& tail, const char* file) {
    std::wstring line = std::wstring(program.begin(), program.end()) + L" " + tail;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &created)) {
      return std::string("not started");
    }
    ::WaitForSingleObject(created.hProcess, 10000);
    ::CloseHandle(created.hThread);
    ::CloseHandle(created.hProcess);
    std::string text = ReadFile(file);
    std::erase(text, '\r');
    return text.substr(std::min(text.find("argc="), text.size()));
  };
  for (const std::wstring tail : {L"\"a\"\"b c\" d", L"\"x\"\"\"y z", L"a\\\\\"b c\" \"e\"\"\"",
                                  L"\"\"\"\" next"}) {
    const std::string runtime = seenBy(TIDEWAKE_SAMPLE_GAME, tail, "game_received.txt");
    EXPECT_NE(runtime.find("argc="), std::string::npos) << runtime;
    EXPECT_EQ(seenBy(TIDEWAKE_ARGUMENT_ECHO, tail, "arguments_taken.txt"), runtime);
  }
}

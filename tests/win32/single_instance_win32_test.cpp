#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/single_instance.h"
#include "tests/win32/wake_listener.h"

using testing_support::WakeListener;

namespace {

std::string UniqueName(const char* stem) {
  return std::string("TidewakeTest_") + stem + "_" + std::to_string(::GetCurrentProcessId());
}

// Starts the launcher with the working directory and returns its process handle.
HANDLE StartLauncher(const std::string& directory) {
  std::string commandLine = std::string("\"") + TIDEWAKE_LAUNCHER + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &created)) {
    return nullptr;
  }
  ::CloseHandle(created.hThread);
  return created.hProcess;
}

struct RacingClaim {
  HANDLE go = nullptr;
  std::string name;
  bool first = false;
};

DWORD WINAPI ClaimWhenReleased(LPVOID argument) {
  auto* claim = static_cast<RacingClaim*>(argument);
  ::WaitForSingleObject(claim->go, INFINITE);
  claim->first = platform::ClaimSingleInstance(claim->name, nullptr);
  return 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A fresh folder of its own under the temp folder, with a trailing backslash.
std::string FreshFolder(const std::string& stem) {
  char temp[MAX_PATH] = {};
  if (::GetTempPathA(sizeof temp, temp) == 0) return {};
  const std::string folder = std::string(temp) + "tidewake_" + stem + "_" +
                             std::to_string(::GetCurrentProcessId()) + "\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

TEST(SingleInstanceWin32, FirstClaimCreatesTheNamedMutexAndALaterClaimWakesIt) {
  const std::string name = UniqueName("claim");
  WakeListener listener(name + "__EH");
  EXPECT_EQ(::OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);

  ASSERT_TRUE(platform::ClaimSingleInstance(name, nullptr));
  const HANDLE held = ::OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(held, nullptr);
  ::CloseHandle(held);
  EXPECT_EQ(listener.wakes(), 0);

  // The broadcast waits for every top-level window of this thread, so it goes out from another.
  bool second = true;
  const HANDLE worker = ::CreateThread(
      nullptr, 0,
      [](LPVOID result) -> DWORD {
        const std::string again = UniqueName("claim");
        *static_cast<bool*>(result) = platform::ClaimSingleInstance(again, nullptr);
        return 0;
      },
      &second, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(listener.WaitFor(worker, 10000));
  ::CloseHandle(worker);
  EXPECT_FALSE(second);
  EXPECT_TRUE(listener.WaitForWake(5000));
  EXPECT_EQ(listener.wakes(), 1);
}

TEST(SingleInstanceWin32, OtherNamesAreIndependent) {
  ASSERT_TRUE(platform::ClaimSingleInstance(UniqueName("one"), nullptr));
  EXPECT_TRUE(platform::ClaimSingleInstance(UniqueName("two"), nullptr));
}

TEST(SingleInstanceWin32, ClaimsMadeAtTheSameMomentLetExactlyOneCopyGoOn) {
  constexpr int kRounds = 40;
  constexpr int kCopies = 6;
  int roundsWithOneFirst = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string name = UniqueName("race") + "_" + std::to_string(round);
    // The later copies' broadcasts wait for every window of this thread: pump while waiting.
    WakeListener listener(name + "__EH");
    const HANDLE go = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(go, nullptr);
    std::vector<RacingClaim> claims(kCopies);
    std::vector<HANDLE> threads;
    for (RacingClaim& claim : claims) {
      claim.go = go;
      claim.name = name;
      threads.push_back(::CreateThread(nullptr, 0, ClaimWhenReleased, &claim, 0, nullptr));
      ASSERT_NE(threads.back(), nullptr);
    }
    ::SetEvent(go);
    for (HANDLE thread : threads) {
      ASSERT_TRUE(listener.WaitFor(thread, 20000));
      ::CloseHandle(thread);
    }
    ::CloseHandle(go);
    int firsts = 0;
    for (const RacingClaim& claim : claims) firsts += claim.first;
    EXPECT_EQ(firsts, 1) << "round " << round;
    roundsWithOneFirst += firsts == 1;
  }
  EXPECT_EQ(roundsWithOneFirst, kRounds);
}

TEST(SingleInstanceWin32, TwoLaunchersStartedTogetherLeaveOneRunning) {
  // Defined before the case below, which keeps "WAVO__Mutex" for the rest of this process.
  const HANDLE existing = ::OpenMutexA(SYNCHRONIZE, FALSE, "WAVO__Mutex");
  if (existing != nullptr) {
    ::CloseHandle(existing);
    GTEST_SKIP() << "a launcher is running in this Wine session";
  }
  // Hears the broadcast of the copy that gives way, so that it does not wait on this thread.
  WakeListener listener("WAVO__Mutex__EH");
  const std::string folders[2] = {FreshFolder("double_a"), FreshFolder("double_b")};
  HANDLE launchers[2] = {StartLauncher(folders[0]), nullptr};
  ASSERT_NE(launchers[0], nullptr);
  ::Sleep(10);  // a double click's two starts
  launchers[1] = StartLauncher(folders[1]);
  ASSERT_NE(launchers[1], nullptr);

  // One of them ends by itself; the other runs on.
  const DWORD start = ::GetTickCount();
  int ended = -1;
  while (ended < 0 && ::GetTickCount() - start < 30000) {
    ::MsgWaitForMultipleObjects(2, launchers, FALSE, 50, QS_ALLINPUT);
    listener.WaitForWake(1);
    for (int i = 0; i < 2; ++i) {
      if (::WaitForSingleObject(launchers[i], 0) == WAIT_OBJECT_0) ended = i;
    }
  }
  const int running = 1 - ended;
  bool runningBuilt = false;
  if (ended >= 0) {
    // The one that went on makes its package folder as it starts its check.
    const std::string package = folders[running] + "Marlwood77301";
    for (DWORD wait = ::GetTickCount(); !runningBuilt && ::GetTickCount() - wait < 20000;) {
      runningBuilt = DirectoryExists(package);
      if (!runningBuilt) listener.WaitForWake(20);
    }
  }
  DWORD exitCode = 1;
  if (ended >= 0) ::GetExitCodeProcess(launchers[ended], &exitCode);
  const bool bothRunning = ended < 0;
  const bool otherRunning =
      ended >= 0 && ::WaitForSingleObject(launchers[running], 0) == WAIT_TIMEOUT;
  for (HANDLE launcher : launchers) {
    ::TerminateProcess(launcher, 1);
    listener.WaitFor(launcher, 10000);
    ::CloseHandle(launcher);
  }
  const bool otherFolderBuilt = ended >= 0 && DirectoryExists(folders[ended] + "Marlwood77301");
  std::error_code ignored;
  for (const std::string& folder : folders) std::filesystem::remove_all(folder, ignored);
  ASSERT_FALSE(bothRunning) << "neither launcher gave way";
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(otherRunning) << "both launchers ended";
  EXPECT_TRUE(runningBuilt);
  EXPECT_FALSE(otherFolderBuilt);
}

TEST(SingleInstanceWin32, SecondLauncherExitsWithZeroAndWakesTheRunningCopy) {
  // This process plays the running launcher: it holds "WAVO__Mutex" and listens for the wake.
  WakeListener listener("WAVO__Mutex__EH");
  const HANDLE existing = ::OpenMutexA(SYNCHRONIZE, FALSE, "WAVO__Mutex");
  if (existing != nullptr) {
    ::CloseHandle(existing);
    GTEST_SKIP() << "a launcher is running in this Wine session";
  }
  ASSERT_TRUE(platform::ClaimSingleInstance("WAVO__Mutex", nullptr));

  char directory[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathA(sizeof directory, directory), 0u);
  const HANDLE launcher = StartLauncher(directory);
  ASSERT_NE(launcher, nullptr);
  DWORD exitCode = 1;
  const bool ended = listener.WaitFor(launcher, 20000);
  if (ended) ::GetExitCodeProcess(launcher, &exitCode);
  if (!ended) ::TerminateProcess(launcher, 1);
  ::CloseHandle(launcher);
  ASSERT_TRUE(ended) << "the second launcher did not end";
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(listener.WaitForWake(5000));
  // A second copy builds nothing: no package folder appears where it ran.
  EXPECT_EQ(::GetFileAttributesA((std::string(directory) + "Marlwood77301").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

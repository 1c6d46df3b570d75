#include <gtest/gtest.h>
#include <windows.h>

#include <string>

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

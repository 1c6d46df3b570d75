#pragma once
// Runs the launcher executable as a real process in a working directory: the Linux launcher
// headless, its message boxes answered through TIDEWAKE_DIALOG_ANSWERS; or the Windows launcher
// under Wine on an X display, its message boxes read back by a watcher program and answered with
// the keyboard alone, as a player would.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/wine_box_answerer.h"
#include "tests/support/wine_session.h"

namespace testing_support {

struct LauncherOutcome {
  bool exited = false;  // false: still running at the deadline (then killed)
  int exitCode = -1;
  double seconds = 0;
  std::string out;  // standard output (the diagnostics)
  // Standard error (libcurl's verbose lines) and one line per message box:
  //   [message box] caption="..." text="..." buttons=retry,cancel answer=retry
  // (the headless backend prints them itself; under Wine the watcher's reading is added).
  std::string err;
};

struct LaunchOptions {
  std::string dialogAnswers;   // "retry", "cancel", "ok", comma-separated, consumed in order
  std::optional<WineSetup> wine;  // set: the Windows launcher under Wine
  // Another build of the launcher (for the platform of the run); empty: the suite's own.
  std::string executable;
  // The Linux launcher: the X display it shows its window on (empty: none, so headless), and
  // variables of its own for the process.
  std::string display;
  std::vector<std::pair<std::string, std::string>> environment;
};

class LauncherProcess {
 public:
  LauncherProcess(const std::string& workingDirectory, const std::vector<std::string>& arguments,
                  const std::string& dialogAnswers = "");
  LauncherProcess(const std::string& workingDirectory, const std::vector<std::string>& arguments,
                  const LaunchOptions& options);
  ~LauncherProcess();
  LauncherProcess(const LauncherProcess&) = delete;
  LauncherProcess& operator=(const LauncherProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // Waits for the end; kills the process at the deadline.
  LauncherOutcome Wait(std::chrono::milliseconds deadline);
  void Kill();  // SIGKILL, as a crash or a power loss would end it
  std::string Out() const;
  std::string Err() const;

  struct OpenFile {
    std::string path;  // absolute, as the system resolved it
    bool writable = false;
  };
  // The files the running process holds open right now; empty once it has ended. (Under Wine
  // the process is the Wine program itself, which holds the files it reads and writes.)
  std::vector<OpenFile> OpenFiles() const;

 private:
  void StopAnswering();

  pid_t pid_ = -1;
  std::string outPath_;
  std::string errPath_;
  std::chrono::steady_clock::time_point start_;
  bool reaped_ = false;
  int status_ = 0;
  std::unique_ptr<WineBoxAnswerer> answerer_;
};

// Waits until the predicate holds, polling every 5 ms; false after the timeout.
template <class Predicate>
bool Eventually(Predicate predicate, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (predicate()) return true;
    struct timespec ts {0, 5000000};
    nanosleep(&ts, nullptr);
  }
  return predicate();
}

}  // namespace testing_support

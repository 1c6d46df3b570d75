#pragma once
// Runs the launcher executable as a real process in a working directory, headless, with its
// message boxes answered through TIDEWAKE_DIALOG_ANSWERS.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

struct LauncherOutcome {
  bool exited = false;  // false: still running at the deadline (then killed)
  int exitCode = -1;
  double seconds = 0;
  std::string out;  // standard output (the diagnostics)
  std::string err;  // standard error (headless message boxes, libcurl's verbose lines)
};

class LauncherProcess {
 public:
  LauncherProcess(const std::string& workingDirectory, const std::vector<std::string>& arguments,
                  const std::string& dialogAnswers = "");
  ~LauncherProcess();
  LauncherProcess(const LauncherProcess&) = delete;
  LauncherProcess& operator=(const LauncherProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // Waits for the end; kills the process at the deadline.
  LauncherOutcome Wait(std::chrono::milliseconds deadline);
  void Kill();  // SIGKILL, as a crash or a power loss would end it
  std::string Err() const;

  struct OpenFile {
    std::string path;  // absolute, as the system resolved it
    bool writable = false;
  };
  // The files the running process holds open right now; empty once it has ended.
  std::vector<OpenFile> OpenFiles() const;

 private:
  pid_t pid_ = -1;
  std::string outPath_;
  std::string errPath_;
  std::chrono::steady_clock::time_point start_;
  bool reaped_ = false;
  int status_ = 0;
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

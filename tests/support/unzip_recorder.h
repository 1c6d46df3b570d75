#pragma once
// Records what an extraction reports, for comparing against the expected event list. Safe to feed
// from a worker thread while a test waits for the final word.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "install/zip_util.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

struct UnzipEvent {
  std::string event;
  std::string message;
  long long first = 0;
  long long second = 0;
  bool operator==(const UnzipEvent&) const = default;
};

void PrintTo(const UnzipEvent& event, std::ostream* out);

class UnzipRecorder {
 public:
  UnzipCallback Callback();
  std::vector<UnzipEvent> Events() const;
  // Threads the callback ran on, one per event.
  std::vector<std::thread::id> Threads() const;
  // Waits until "succ" or "fail" arrived; false when it did not within the time.
  bool WaitForEnd(std::chrono::milliseconds limit);

 private:
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::vector<UnzipEvent> events_;
  std::vector<std::thread::id> threads_;
};

// A fresh working directory to extract into, with what the last extraction reported and logged.
class ExtractionTest : public InTempDir {
 protected:
  // ZipUtil::Unzip with standard output captured.
  bool Extract(const std::string& zipPath, const std::string& destDir,
               const UnzipOptions& options = {});

  std::vector<UnzipEvent> events() const { return recorder_.Events(); }
  std::vector<std::thread::id> eventThreads() const { return recorder_.Threads(); }
  const std::string& log() const { return log_; }

 private:
  UnzipRecorder recorder_;
  std::string log_;
};

// The "unzip" events of a run that wrote the given names in order, then "succ".
std::vector<UnzipEvent> SuccessfulRun(const std::vector<std::string>& names);

}  // namespace testing_support

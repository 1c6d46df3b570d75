#pragma once
// What the threads of one extraction share: the next job, which entries are written, the
// earliest failure, and which "unzip" events may go out. Events go out in the archive's order,
// so the count rises one by one, and never past an entry that failed: the outcome reads as one
// thread going through the archive would have reported it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct ExtractionFailure {
  size_t index = 0;
  std::string message;  // the "fail" event's text
  std::string logLine;  // logged once this failure is the one reported; may be empty
};

class ExtractionProgress {
 public:
  // reported[i]: whether entry i has an event at all; jobs: how many jobs TakeJob hands out.
  ExtractionProgress(std::vector<bool> reported, size_t jobs);

  // The next job, in order; nothing once every job was taken.
  std::optional<size_t> TakeJob();
  // False for an entry after one that failed: it is not started, or abandoned where it is.
  bool Wanted(size_t index) const;
  void Written(size_t index);
  // Of several failures the earliest entry's is kept.
  void Fail(ExtractionFailure failure);
  std::optional<ExtractionFailure> Failure() const;

  // Around every extraction thread: before it is started, and as the last thing it does.
  void ThreadStarted();
  void ThreadEnded();

  struct News {
    std::vector<size_t> reportable;  // entries whose "unzip" event may go out now, in order
    bool threadsRunning = false;
  };
  // Takes the reportable entries; with a limit, first waits at most that long until there are
  // some or no thread runs any more.
  News Take(std::optional<std::chrono::milliseconds> limit = std::nullopt);

 private:
  bool CursorWritten() const;  // with mutex_ held

  const std::vector<bool> reported_;
  const size_t jobs_;
  std::atomic<size_t> nextJob_{0};
  // The first failed entry, or past the last one: read on every block, so not behind the mutex.
  std::atomic<size_t> failedAt_;

  mutable std::mutex mutex_;
  std::condition_variable news_;
  std::vector<char> written_;
  size_t cursor_ = 0;  // the first entry not yet reported
  std::optional<ExtractionFailure> failure_;
  unsigned threads_ = 0;
};

#include "install/extraction_progress.h"

#include <utility>

ExtractionProgress::ExtractionProgress(std::vector<bool> reported, size_t jobs)
    : reported_(std::move(reported)),
      jobs_(jobs),
      failedAt_(reported_.size()),
      written_(reported_.size(), 0) {}

std::optional<size_t> ExtractionProgress::TakeJob() {
  const size_t job = nextJob_.fetch_add(1, std::memory_order_relaxed);
  if (job >= jobs_) return std::nullopt;
  return job;
}

bool ExtractionProgress::Wanted(size_t index) const {
  return index <= failedAt_.load(std::memory_order_relaxed);
}

void ExtractionProgress::Written(size_t index) {
  const std::lock_guard<std::mutex> lock(mutex_);
  written_[index] = 1;
  if (index == cursor_) news_.notify_one();
}

void ExtractionProgress::Fail(ExtractionFailure failure) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (failure_.has_value() && failure_->index <= failure.index) return;
  failedAt_.store(failure.index, std::memory_order_relaxed);
  failure_ = std::move(failure);
}

std::optional<ExtractionFailure> ExtractionProgress::Failure() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

void ExtractionProgress::ThreadStarted() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++threads_;
}

void ExtractionProgress::ThreadEnded() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (--threads_ == 0) news_.notify_one();
}

bool ExtractionProgress::CursorWritten() const {
  return cursor_ < written_.size() && written_[cursor_] != 0;
}

ExtractionProgress::News ExtractionProgress::Take(std::optional<std::chrono::milliseconds> limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Entries without an event are passed over, so the cursor rests on one a thread will report.
  while (cursor_ < reported_.size() && !reported_[cursor_]) ++cursor_;
  if (limit.has_value()) {
    // Timed: a wake-up lost on some thread library delays the events, it does not stop them.
    news_.wait_for(lock, *limit, [this] { return threads_ == 0 || CursorWritten(); });
  }
  News news;
  for (; cursor_ < reported_.size() && (!reported_[cursor_] || written_[cursor_] != 0); ++cursor_) {
    if (reported_[cursor_]) news.reportable.push_back(cursor_);
  }
  news.threadsRunning = threads_ != 0;
  return news;
}

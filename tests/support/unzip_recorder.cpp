#include "tests/support/unzip_recorder.h"

#include <gtest/gtest.h>

namespace testing_support {

void PrintTo(const UnzipEvent& event, std::ostream* out) {
  *out << "{" << event.event << ", \"" << event.message << "\", " << event.first << ", "
       << event.second << "}";
}

UnzipCallback UnzipRecorder::Callback() {
  return [this](const std::string& event, const std::string& message, long long first,
                long long second) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({event, message, first, second});
    threads_.push_back(std::this_thread::get_id());
    if (event == "succ" || event == "fail") ended_.notify_all();
  };
}

std::vector<UnzipEvent> UnzipRecorder::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<std::thread::id> UnzipRecorder::Threads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_;
}

bool UnzipRecorder::WaitForEnd(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return ended_.wait_for(lock, limit, [this] {
    return !events_.empty() && (events_.back().event == "succ" || events_.back().event == "fail");
  });
}

std::vector<UnzipEvent> SuccessfulRun(const std::vector<std::string>& names) {
  std::vector<UnzipEvent> events;
  const auto count = static_cast<long long>(names.size());
  for (long long i = 0; i < count; ++i) {
    events.push_back({"unzip", names[static_cast<size_t>(i)], i + 1, count});
  }
  events.push_back({"succ", "", count, count});
  return events;
}

bool ExtractionTest::Extract(const std::string& zipPath, const std::string& destDir,
                             const UnzipOptions& options) {
  testing::internal::CaptureStdout();
  const bool result =
      ZipUtil::Unzip(zipPath, destDir, recorder_.Callback(), UnzipDurability::OnDisk, options);
  log_ = testing::internal::GetCapturedStdout();
  return result;
}

}  // namespace testing_support

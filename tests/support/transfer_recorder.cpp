#include "tests/support/transfer_recorder.h"

#include <gtest/gtest.h>

#include "platform/files.h"

namespace testing_support {

TransferRecorder::TransferRecorder() : state_(std::make_shared<State>()) {}

TransferCallback TransferRecorder::Callback() const {
  return [state = state_](const std::string& event, const std::string& message, double first,
                          double second) {
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->events.push_back({event, message, first, second, std::this_thread::get_id()});
    }
    state->changed.notify_all();
  };
}

std::vector<TransferEvent> TransferRecorder::Events() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->events;
}

std::vector<TransferEvent> TransferRecorder::Progress() const {
  std::vector<TransferEvent> progress;
  for (const TransferEvent& e : Events()) {
    if (e.event == "trans") progress.push_back(e);
  }
  return progress;
}

std::vector<TransferEvent> TransferRecorder::Finals() const {
  std::vector<TransferEvent> finals;
  for (const TransferEvent& e : Events()) {
    if (e.event != "trans") finals.push_back(e);
  }
  return finals;
}

TransferEvent TransferRecorder::Final() const {
  const std::vector<TransferEvent> finals = Finals();
  EXPECT_EQ(finals.size(), 1u) << "a transfer ends with exactly one final event";
  if (finals.empty()) return {};
  // The final event comes last.
  EXPECT_EQ(Events().back().event, finals.back().event);
  return finals.back();
}

bool TransferRecorder::WaitForFinal(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [this] {
    for (const TransferEvent& e : state_->events) {
      if (e.event != "trans") return true;
    }
    return false;
  });
}

std::function<void(uint64_t)> PrefixFollower::Callback() {
  return [this](uint64_t prefix) { told_.emplace_back(prefix, platform::FileSize(path_)); };
}

void PrefixFollower::ExpectFollowed(uint64_t fileBytes) const {
  ASSERT_FALSE(told_.empty());
  EXPECT_EQ(told_.back().first, fileBytes);
  for (size_t i = 0; i < told_.size(); ++i) {
    EXPECT_LE(told_[i].first, told_[i].second) << "told of bytes not on the disk";
    if (i > 0) {
      EXPECT_GE(told_[i].first, told_[i - 1].first) << "told of bytes that went away";
    }
  }
}

}  // namespace testing_support

#include "tests/support/transfer_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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

namespace {

constexpr uint64_t kTailBytes = 64u << 10;

}  // namespace

std::function<void(uint64_t)> PrefixFollower::Callback() {
  return [this](uint64_t prefix) {
    const uint64_t from = prefix - std::min(prefix, kTailBytes);
    std::ifstream in(path_, std::ios::binary);
    std::string tail(prefix - from, '\0');
    in.seekg(static_cast<std::streamoff>(from));
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    tail.resize(static_cast<size_t>(in.gcount()));
    seen_.push_back({prefix, std::move(tail)});
  };
}

void PrefixFollower::ExpectFollowed(const std::string& finalFile) const {
  ASSERT_FALSE(seen_.empty());
  EXPECT_EQ(seen_.back().prefix, finalFile.size());
  for (size_t i = 0; i < seen_.size(); ++i) {
    const Seen& seen = seen_[i];
    SCOPED_TRACE("prefix " + std::to_string(seen.prefix));
    ASSERT_LE(seen.prefix, finalFile.size());
    const uint64_t from = seen.prefix - std::min(seen.prefix, kTailBytes);
    EXPECT_TRUE(seen.tail == finalFile.substr(from, seen.prefix - from));
    if (i > 0) {
      EXPECT_GE(seen.prefix, seen_[i - 1].prefix);
    }
  }
}

}  // namespace testing_support

#include "tests/support/transfer_recorder.h"

#include <gtest/gtest.h>

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

}  // namespace testing_support

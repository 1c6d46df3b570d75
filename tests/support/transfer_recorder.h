#pragma once
// Records what a transfer reports through its TransferCallback, from whatever thread.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/http_util.h"

namespace testing_support {

struct TransferEvent {
  std::string event;
  std::string message;
  double first = 0;
  double second = 0;
  std::thread::id thread;
};

class TransferRecorder {
 public:
  TransferRecorder();
  // A callback that records into this recorder; it may outlive the recorder.
  TransferCallback Callback() const;

  std::vector<TransferEvent> Events() const;
  std::vector<TransferEvent> Progress() const;  // the "trans" events
  // Every event that is not "trans", in order; a transfer reports exactly one.
  std::vector<TransferEvent> Finals() const;
  // The one final event; fails the test when there is not exactly one.
  TransferEvent Final() const;
  // For transfers on a worker: true once a final event arrived within the time.
  bool WaitForFinal(std::chrono::milliseconds timeout) const;

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<TransferEvent> events;
  };
  std::shared_ptr<State> state_;
};

}  // namespace testing_support

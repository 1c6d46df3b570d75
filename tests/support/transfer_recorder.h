#pragma once
// Records what a transfer reports through its TransferCallback, from whatever thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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

// What a download told a reader following its prefix, with the file's length at each moment.
// For a download run on the test's thread.
class PrefixFollower {
 public:
  explicit PrefixFollower(std::string path) : path_(std::move(path)) {}
  std::function<void(uint64_t)> Callback();
  // Each prefix was on the disk when told and none shrank; the last is the whole file.
  void ExpectFollowed(uint64_t fileBytes) const;
  size_t TimesTold() const { return told_.size(); }

 private:
  std::string path_;
  std::vector<std::pair<uint64_t, uint64_t>> told_;  // prefix, the file's length then
};

}  // namespace testing_support

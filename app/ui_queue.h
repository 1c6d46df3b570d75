#pragma once
// Hands work from worker threads to the user-interface thread, which drains the queue once per
// loop pass. Workers never wait for the UI thread.

#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class UiQueue {
 public:
  // Runs the action on the UI thread, in posting order.
  void Post(std::function<void()> action);
  // Like Post, but a later action with the same slot replaces one not yet run, and takes its
  // place at the end of the queue: the latest progress wins, in order with everything posted
  // before it, and a flood of reports cannot grow the queue.
  void PostLatest(const std::string& slot, std::function<void()> action);
  // Runs everything posted so far; called on the UI thread only. False when nothing was posted.
  bool Drain();

 private:
  struct Entry {
    std::string slot;  // empty for plain posts
    std::function<void()> action;
  };
  std::mutex mutex_;
  std::list<Entry> entries_;
  std::map<std::string, std::list<Entry>::iterator> slots_;
};

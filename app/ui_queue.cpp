#include "app/ui_queue.h"

#include <utility>

void UiQueue::Post(std::function<void()> action) {
  std::lock_guard lock(mutex_);
  entries_.push_back({"", std::move(action)});
}

void UiQueue::PostLatest(const std::string& slot, std::function<void()> action) {
  std::lock_guard lock(mutex_);
  const auto found = slots_.find(slot);
  if (found != slots_.end()) entries_.erase(found->second);
  entries_.push_back({slot, std::move(action)});
  slots_[slot] = std::prev(entries_.end());
}

bool UiQueue::Drain() {
  std::list<Entry> pending;
  {
    std::lock_guard lock(mutex_);
    pending.swap(entries_);
    slots_.clear();
  }
  for (Entry& entry : pending) entry.action();
  return !pending.empty();
}

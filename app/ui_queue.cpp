#include "app/ui_queue.h"

#include <utility>

void UiQueue::Post(std::function<void()> action) {
  std::lock_guard lock(mutex_);
  entries_.push_back({"", std::move(action)});
}

void UiQueue::PostLatest(const std::string& slot, std::function<void()> action) {
  std::lock_guard lock(mutex_);
  const auto found = slotIndex_.find(slot);
  if (found != slotIndex_.end()) {
    entries_[found->second].action = std::move(action);
    return;
  }
  slotIndex_[slot] = entries_.size();
  entries_.push_back({slot, std::move(action)});
}

bool UiQueue::Drain() {
  std::vector<Entry> pending;
  {
    std::lock_guard lock(mutex_);
    pending.swap(entries_);
    slotIndex_.clear();
  }
  for (Entry& entry : pending) entry.action();
  return !pending.empty();
}

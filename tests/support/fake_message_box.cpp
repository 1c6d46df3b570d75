#include "tests/support/fake_message_box.h"

#include <chrono>

#include "platform/message_box.h"

namespace testing_support {

FakeMessageBox::FakeMessageBox() : defaultAnswer_(platform::kIdOk) {
  platform::SetMessageBoxHandler(
      [this](const std::string& text, const std::string& caption, unsigned flags) {
        return Answer(text, caption, flags);
      });
}

FakeMessageBox::~FakeMessageBox() {
  ReleaseBoxes();
  platform::SetMessageBoxHandler(nullptr);
}

void FakeMessageBox::HoldBoxes() {
  std::lock_guard lock(mutex_);
  held_ = true;
}

void FakeMessageBox::ReleaseBoxes() {
  std::lock_guard lock(mutex_);
  held_ = false;
  changed_.notify_all();
}

void FakeMessageBox::QueueAnswer(int answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

void FakeMessageBox::SetDefaultAnswer(int answer) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = answer;
}

std::vector<ShownBox> FakeMessageBox::Shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

bool FakeMessageBox::WaitForBoxes(size_t count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return shown_.size() >= count; });
}

int FakeMessageBox::Answer(const std::string& text, const std::string& caption, unsigned flags) {
  std::unique_lock lock(mutex_);
  shown_.push_back({text, caption, flags});
  changed_.notify_all();
  changed_.wait(lock, [this] { return !held_; });
  if (answers_.empty()) return defaultAnswer_;
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

}  // namespace testing_support

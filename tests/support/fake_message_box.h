#pragma once
// Answers the launcher's message boxes in tests and remembers what they said.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

struct ShownBox {
  std::string text;
  std::string caption;
  unsigned flags = 0;
};

class FakeMessageBox {
 public:
  // Installs itself as the platform's message box until destroyed.
  FakeMessageBox();
  ~FakeMessageBox();

  // Answers for the next boxes, in order; when they run out, boxes get the default answer.
  void QueueAnswer(int answer);
  void SetDefaultAnswer(int answer);

  // Boxes stay open (their worker blocked) from HoldBoxes until ReleaseBoxes, as a player who has
  // not answered yet: a test changes what the server says before the answer is acted on.
  void HoldBoxes();
  void ReleaseBoxes();

  std::vector<ShownBox> Shown() const;
  // Waits until at least count boxes were shown; false after the timeout.
  bool WaitForBoxes(size_t count, int timeoutMs) const;

 private:
  int Answer(const std::string& text, const std::string& caption, unsigned flags);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<int> answers_;
  int defaultAnswer_;
  bool held_ = false;
  std::vector<ShownBox> shown_;
};

}  // namespace testing_support

#pragma once
// Answers the Windows launcher's message boxes under Wine the way a player at the keyboard
// would: the box watcher (tests/win32/message_box_watcher.cpp) reports each box that appears,
// and the next answer is pressed as a key to whatever window has the focus, Return for Retry or
// OK (the default button), Escape for Cancel. Without answers left, Return for an OK box and
// Escape for Retry/Cancel, as the headless boxes choose. The answer "leave" leaves its box
// standing, for a case that acts on the window behind it.

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wine_session.h"

namespace testing_support {

class WineBoxAnswerer {
 public:
  // giveUp runs (on the answering thread) when a box still stands after its key was pressed
  // three times: the box never got the keyboard focus, and the launcher would wait forever.
  WineBoxAnswerer(const WineSetup& wine, const std::string& workingDirectory,
                  const std::string& answers, std::function<void()> giveUp);
  ~WineBoxAnswerer();
  WineBoxAnswerer(const WineBoxAnswerer&) = delete;
  WineBoxAnswerer& operator=(const WineBoxAnswerer&) = delete;

  // One "[message box] ..." line per box answered so far, as the headless backend prints them.
  std::string Lines() const;
  // Ends the watcher; no box is answered afterwards.
  void Stop();

 private:
  void Answer();
  bool NextLine(std::string* line, int timeoutMs);
  void Log(const std::string& line);

  std::vector<std::string> answers_;
  std::function<void()> giveUp_;
  pid_t watcher_ = -1;
  int toWatcher_ = -1;
  int fromWatcher_ = -1;
  std::string pending_;
  bool stopping_ = false;
  mutable std::mutex mutex_;
  std::string lines_;
  std::thread thread_;
};

}  // namespace testing_support

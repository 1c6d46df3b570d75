#pragma once
// A hidden top-level window that counts one registered message, standing in for the running
// launcher's main window: broadcasts reach hidden top-level windows too.

#include <windows.h>

#include <string>

namespace testing_support {

class WakeListener {
 public:
  explicit WakeListener(const std::string& messageName);
  ~WakeListener();
  WakeListener(const WakeListener&) = delete;
  WakeListener& operator=(const WakeListener&) = delete;

  // Pumps this thread's messages until the process or thread ends (true) or the time is up.
  // Pumping matters: the broadcast waits for this window to answer.
  bool WaitFor(HANDLE object, DWORD timeoutMs);
  // Pumps messages until a wake arrived or the time is up.
  bool WaitForWake(DWORD timeoutMs);
  int wakes() const { return wakes_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Pump();

  UINT message_ = 0;
  HWND window_ = nullptr;
  int wakes_ = 0;
};

}  // namespace testing_support

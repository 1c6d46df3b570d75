#include "tests/win32/wake_listener.h"

namespace testing_support {
namespace {
constexpr char kClassName[] = "TidewakeTestWakeListener";
}  // namespace

WakeListener::WakeListener(const std::string& messageName)
    : message_(::RegisterWindowMessageA(messageName.c_str())) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &WakeListener::Procedure;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassA(&windowClass);  // fails harmlessly when an earlier listener registered it
  window_ = ::CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
  ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WakeListener::~WakeListener() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

LRESULT CALLBACK WakeListener::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<WakeListener*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && message == self->message_) {
    ++self->wakes_;
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

void WakeListener::Pump() {
  MSG message{};
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

bool WakeListener::WaitFor(HANDLE object, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    const DWORD result =
        ::MsgWaitForMultipleObjects(1, &object, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    Pump();
    if (result == WAIT_OBJECT_0) return true;
    if (result == WAIT_FAILED) return false;
  }
}

bool WakeListener::WaitForWake(DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (wakes_ == 0 && ::GetTickCount() - start < timeoutMs) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  return wakes_ > 0;
}

}  // namespace testing_support

#include "platform/message_box.h"

#include <mutex>
#include <utility>

namespace platform {

// The backend's boxes when no window backend installed its own (defined per backend).
int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags);

namespace {

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}
std::function<void()>& FrontHandler() {
  static std::function<void()> handler;
  return handler;
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = Handler();
  }
  return handler ? handler(text, caption, flags) : DefaultMessageBox(text, caption, flags);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(HandlerMutex());
  Handler() = std::move(handler);
}

void BringMainWindowToFront() {
  std::function<void()> handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = FrontHandler();
  }
  if (handler) handler();
}

void SetBringToFrontHandler(std::function<void()> handler) {
  std::lock_guard lock(HandlerMutex());
  FrontHandler() = std::move(handler);
}

}  // namespace platform

#include "update/timeout_prompt.h"

#include <mutex>
#include <utility>

#include "platform/message_box.h"
#include "platform/process_exit.h"

namespace {

std::mutex hookMutex;
std::function<void()> showCloseButton;

}  // namespace

void SetShowCloseButtonHook(std::function<void()> hook) {
  std::lock_guard lock(hookMutex);
  showCloseButton = std::move(hook);
}

void ShowTimeoutPrompt() {
  std::function<void()> hook;
  {
    std::lock_guard lock(hookMutex);
    hook = showCloseButton;
  }
  if (hook) hook();
  platform::BringMainWindowToFront();
  const int answer = platform::ShowMessageBox(
      "请求超时，点击重试？", "请求超时",
      platform::kMbSystemModal | platform::kMbIconError | platform::kMbRetryCancel);
  if (answer == platform::kIdCancel) platform::QuickExit(0);
}

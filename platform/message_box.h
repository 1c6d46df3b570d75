#pragma once
// Message boxes that block only the calling thread. The flags and results keep the values of
// MessageBoxA so callers read like the calls they stand for.

#include <functional>
#include <string>

namespace platform {

enum : unsigned {
  kMbOk = 0x0,
  kMbRetryCancel = 0x5,
  kMbIconError = 0x10,
  kMbSystemModal = 0x1000,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdRetry = 4 };

// text and caption are narrow built-in texts (GBK bytes). Returns kIdOk, kIdCancel or kIdRetry.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
// The window backend installs its own dialogs; without one the headless boxes answer.
void SetMessageBoxHandler(MessageBoxHandler handler);

// Brings the launcher's main window to the front before a box, once a window exists.
void BringMainWindowToFront();
void SetBringToFrontHandler(std::function<void()> handler);

}  // namespace platform

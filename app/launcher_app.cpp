#include "app/launcher_app.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>

#include "core/layout.h"
#include "fs/path_join.h"
#include "net/worker.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/process_exit.h"
#include "resources/embedded_png.h"
#include "resources/resource_ids.h"
#include "ui/click_dispatch.h"
#include "ui/layout_scale.h"
#include "ui/painter.h"
#include "update/timeout_prompt.h"

LauncherApp* theApp = nullptr;

namespace {

// The part of the usual fetch delay not yet spent since the program started.
int RemainingFetchDelayMs(int delayMs, int64_t startedAt) {
  const int64_t elapsedMs = (platform::PerformanceCounter() - startedAt) * 1000 /
                            platform::PerformanceFrequency();
  return static_cast<int>(std::clamp<int64_t>(delayMs - elapsedMs, 0, delayMs));
}

}  // namespace

LauncherApp::LauncherApp(void* instanceHandle, platform::WindowSystem& windowSystem,
                         std::optional<int64_t> startedAt)
    : windows(windowSystem), uiThread_(std::this_thread::get_id()) {
  theApp = this;
  instance = instanceHandle;
  windows.SetWindowProcedure(
      [this](WindowHandle window, platform::WindowMessage message,
             const platform::MessageParams& params) { WindowProc(window, message, params); });

  // The splash covers the same share of a high-DPI screen, drawn at the screen's own density.
  SetLayoutScale(windows.ScreenScale());
  const int32_t deviceWidth = ToDevicePixels(width), deviceHeight = ToDevicePixels(height);
  const EmbeddedBytes icon = FindEmbeddedPng(kIconResource);
  mainWindow = windows.CreateMainWindow(title, deviceWidth, deviceHeight, icon.data, icon.size);
  BuildSplash();

  const Rect screen = windows.ScreenRect();
  windows.SetWindowPos(mainWindow,
                       {(screen.width - deviceWidth) / 2, (screen.height - deviceHeight) / 2,
                        deviceWidth, deviceHeight},
                       false);
  for (const std::string& base : baseUrls) packageFolderUrls.push_back(JoinUrl(base, packageFolderName));

  // Boxes raised by workers bring the splash forward first; the time-out prompt shows the close
  // button. Both reach the widgets through the hand-over like every other worker change.
  platform::SetBringToFrontHandler([this] { BringToFront(); });
  SetShowCloseButtonHook([this] { ShowCloseButton(); });

  statusForm->label->SetVisible(false);
  if (progressForm->image != nullptr) progressForm->image->SetVisible(false);
  speedForm->label->SetVisible(false);
  sizeForm->label->SetVisible(false);

  // Everything the check shows or asks still comes after the window: only its wait began early.
  StartCheck(startedAt ? std::optional<int>(RemainingFetchDelayMs(
                             check.fetchSettings.initialDelayMs, *startedAt))
                       : std::nullopt);
}

LauncherApp::~LauncherApp() {
  platform::SetBringToFrontHandler(nullptr);
  SetShowCloseButtonHook(nullptr);
  if (theApp == this) theApp = nullptr;
}

void LauncherApp::WindowProc(WindowHandle window, platform::WindowMessage message,
                             const platform::MessageParams& params) {
  using platform::WindowMessage;
  const bool isMain = window == mainWindow;
  switch (message) {
    case WindowMessage::Move:
      if (isMain) {
        const Rect rect = windows.WindowRect(mainWindow);
        for (BaseForm* form : forms) windows.SetWindowPos(form->window, rect, false);
      }
      break;
    case WindowMessage::Paint:
      PaintLayeredWindow(window);
      break;
    case WindowMessage::Close:
      // The main window is never destroyed: closing it ends the process a second later.
      if (isMain) {
        RunDelayed(1000, [] { platform::QuickExit(0); });
      } else {
        PostQuit(0);
      }
      break;
    case WindowMessage::Destroy:
      PostQuit(0);
      break;
    case WindowMessage::LButtonDown:
      HandleLeftButtonDown(mainWindow, params.keyState, params.x, params.y);
      break;
    case WindowMessage::Wake:
      if (isMain) windows.BringToFront(mainWindow);
      break;
  }
}

void LauncherApp::OnCloseClicked() {
  if (closeRequested_) return;
  closeRequested_ = true;
  RunDelayed(1000, [] { platform::QuickExit(0); });
}

void LauncherApp::OnUiThread(std::function<void()> action) { uiQueue_.Post(std::move(action)); }

void LauncherApp::OnUiThreadLatest(const std::string& slot, std::function<void()> action) {
  uiQueue_.PostLatest(slot, std::move(action));
}

bool LauncherApp::DrainUiQueue() { return uiQueue_.Drain(); }

void LauncherApp::PostQuit(int exitCode) {
  exitCode_ = exitCode;
  quitRequested_ = true;
}

void LauncherApp::BringToFront() {
  if (std::this_thread::get_id() == uiThread_) {
    windows.BringToFront(mainWindow);
    return;
  }
  // A box shown while the request still waits would open behind the splash or lose the
  // activation to it: the worker goes on only once the window is in front. The window system's
  // own queue runs also during a drag. A user-interface thread that is ending never runs the
  // task, so the wait is bounded.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> brought = done->get_future();
  windows.PostTask([this, done] {
    windows.BringToFront(mainWindow);
    done->set_value();
  });
  if (!quitRequested_.load()) brought.wait_for(std::chrono::seconds(2));
}

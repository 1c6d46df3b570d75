// The launcher's road from the entry point: one copy per user, the splash, the frame loop.

#include <atomic>
#include <cstdint>

#include "app/frame_loop.h"
#include "app/launcher_app.h"
#include "fs/run_log.h"
#include "platform/clock.h"
#include "platform/program_main.h"
#include "platform/process.h"
#include "platform/process_exit.h"
#include "platform/single_instance.h"
#include "platform/window_system.h"

namespace {

// The running copy's window, for wakes that arrive on the single-instance listener's thread.
std::atomic<LauncherApp*> wakeTarget{nullptr};

}  // namespace

int LauncherMain(void* instance, int argc, char** argv) {
  // The player's wait for the first document begins here, not once the window is up.
  const int64_t startedAt = platform::PerformanceCounter();
  platform::IgnoreBrokenPipes();
  const bool first = platform::ClaimSingleInstance("WAVO__Mutex", [] {
    if (LauncherApp* app = wakeTarget.load()) {
      app->windows.PostWindowMessage(app->mainWindow, platform::WindowMessage::Wake);
    }
  });
  if (!first) return 0;
  // Only now: a second copy must leave the running copy's log where it is.
  StartRunLog();

  std::unique_ptr<platform::WindowSystem> windows = platform::CreateWindowSystem(&argc, &argv);
  platform::SetCurrentWindowSystem(windows.get());
  // Lives for the whole run: workers hold on to it until the process ends.
  auto* app = new LauncherApp(instance, *windows, startedAt);
  wakeTarget = app;
  const int exitCode = RunFrameLoop(*app, *windows);
  // Workers may still be running and reach the application: end without destructors.
  platform::QuickExit(exitCode);
}

#include "app/frame_loop.h"

#include "app/launcher_app.h"
#include "platform/clock.h"
#include "ui/painter.h"

int RunFrameLoop(LauncherApp& app, platform::WindowSystem& windows) {
  const int64_t frequency = platform::PerformanceFrequency();
  const auto frameInterval = static_cast<int64_t>(static_cast<double>(frequency) * 0.016666666666666666);
  int64_t frameBase = platform::PerformanceCounter();
  int64_t lastFrameTime = frameBase;

  while (!app.QuitRequested()) {
    if (windows.PeekAndDispatch() || app.DrainUiQueue()) continue;
    const int64_t now = platform::PerformanceCounter();
    if (now - frameBase <= frameInterval) {
      platform::SleepMs(1);
      continue;
    }
    frameBase = now - now % frameInterval;
    const double elapsed = static_cast<double>(now - lastFrameTime) / static_cast<double>(frequency);
    app.Update(elapsed);
    lastFrameTime = now;
    RequestRepaint(app.mainWindow);
    for (BaseForm* form : app.forms) form->SyncToOwner();
  }
  return app.ExitCode();
}

// Measures the splash: composition times, and the CPU an idle or a busy splash costs under a
// frame loop shaped like the application's (pump events; at most 60 frames a second on aligned
// boundaries; sleep 1 ms when idle).
//
//   ui_bench compose [ITERATIONS]
//   ui_bench bare SECONDS
//   ui_bench idle|busy SECONDS [--headless] [--screenshot PATH]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/window_system.h"
#include "resources/embedded_png.h"
#include "resources/resource_ids.h"
#include "ui/click_dispatch.h"
#include "ui/painter.h"
#include "ui/splash_screen.h"

namespace {

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void BuildAsTheApplicationDoes(SplashScreen& splash, platform::WindowSystem& windows) {
  platform::SetCurrentWindowSystem(&windows);
  windows.SetWindowProcedure([&](WindowHandle window, platform::WindowMessage message,
                                 const platform::MessageParams& params) {
    if (message == platform::WindowMessage::Paint) PaintLayeredWindow(window);
    if (message == platform::WindowMessage::LButtonDown) {
      HandleLeftButtonDown(splash.mainWindow, params.keyState, params.x, params.y);
    }
    if (message == platform::WindowMessage::Move) {
      for (BaseForm* form : splash.forms) {
        windows.SetWindowPos(form->window, windows.WindowRect(splash.mainWindow), false);
      }
    }
  });
  const EmbeddedBytes icon = FindEmbeddedPng(kIconResource);
  splash.mainWindow =
      windows.CreateMainWindow("Tidewake", splash.width, splash.height, icon.data, icon.size);
  splash.BuildSplash();
  const Rect screen = windows.ScreenRect();
  windows.SetWindowPos(splash.mainWindow,
                       {(screen.width - splash.width) / 2, (screen.height - splash.height) / 2,
                        splash.width, splash.height},
                       false);
  splash.statusForm->label->SetVisible(false);
  splash.progressForm->image->SetVisible(false);
  splash.speedForm->label->SetVisible(false);
  splash.sizeForm->label->SetVisible(false);
  splash.statusForm->label->SetVisible(true);
  splash.progressForm->image->SetVisible(true);
}

int Compose(int iterations) {
  auto windows = platform::CreateHeadlessWindowSystem();
  SplashScreen splash;
  uint32_t tick = 1000;
  SetPaintTickSource([&] { return tick; });
  BuildAsTheApplicationDoes(splash, *windows);
  auto time = [&](const char* what, auto&& body) {
    body();  // warm up: fonts, caches
    const double start = WallSeconds();
    for (int i = 0; i < iterations; ++i) body();
    const double ms = (WallSeconds() - start) * 1000 / iterations;
    std::printf("%-44s %8.3f ms\n", what, ms);
  };
  time("paint main window (all 6 drawables)", [&] {
    tick += 16;
    splash.background->dirty = true;
    PaintLayeredWindow(splash.mainWindow);
  });
  time("paint status overlay (one label)", [&] {
    tick += 16;
    splash.statusForm->label->dirty = true;
    PaintLayeredWindow(splash.statusForm->window);
  });
  MySlice9Image* fill = splash.progressForm->image;
  int width = 0;
  time("paint progress overlay (nine-slice fill)", [&] {
    tick += 16;
    width = (width + 7) % 565;
    fill->SetRect({fill->x, fill->y, width, fill->height});
    PaintLayeredWindow(splash.progressForm->window);
  });
  time("compose the stack + read pixels (headless)", [&] {
    splash.statusForm->label->dirty = true;
    tick += 16;
    PaintLayeredWindow(splash.statusForm->window);
    windows->ComposedPixels();
  });
  return 0;
}

// The frame loop's own floor: nothing but the 1 ms sleeps of an idle pass.
int Bare(double seconds) {
  const double cpuStart = CpuSeconds(), wallStart = WallSeconds();
  while (WallSeconds() - wallStart < seconds) platform::SleepMs(1);
  const double cpu = CpuSeconds() - cpuStart, wall = WallSeconds() - wallStart;
  std::printf("bare 1 ms sleep loop: %.1f s, CPU %.2f s = %.2f %% of one core\n", wall, cpu,
              100 * cpu / wall);
  return 0;
}

int Run(bool busy, double seconds, bool headless, const std::string& screenshot) {
  auto windows = headless ? platform::CreateHeadlessWindowSystem()
                          : platform::CreateWindowSystem(nullptr, nullptr);
  SplashScreen splash;
  BuildAsTheApplicationDoes(splash, *windows);

  const int64_t frequency = platform::PerformanceFrequency();
  const int64_t frameInterval = static_cast<int64_t>(frequency * 0.016666666666666666);
  int64_t frameBase = platform::PerformanceCounter();
  int64_t lastFrameTime = frameBase;
  // The first second (fonts, first compositions, mapping the window) is not counted.
  constexpr double kWarmUpSeconds = 1;
  const double loopStart = WallSeconds();
  double cpuStart = 0, wallStart = 0;
  bool measuring = false;
  long frames = 0, measuredFrames = 0;
  double dotsClock = 0;
  MySlice9Image* fill = splash.progressForm->image;
  while (!measuring || WallSeconds() - wallStart < seconds) {
    if (!measuring && WallSeconds() - loopStart >= kWarmUpSeconds) {
      measuring = true;
      cpuStart = CpuSeconds();
      wallStart = WallSeconds();
      measuredFrames = frames;
    }
    if (windows->PeekAndDispatch()) continue;
    const int64_t now = platform::PerformanceCounter();
    if (now - frameBase <= frameInterval) {
      platform::SleepMs(1);
      continue;
    }
    frameBase = now - now % frameInterval;
    const double elapsed = static_cast<double>(now - lastFrameTime) / frequency;
    if (busy) {
      // Status dots and progress change every frame, as during a fast download.
      dotsClock += elapsed;
      const int dots = static_cast<int>(dotsClock * 60) % 4;
      splash.statusForm->label->SetText(std::string("下载中") + std::string(dots, '.'));
      const int width = static_cast<int>(frames % 565);
      fill->SetRect({fill->x, fill->y, width, fill->height});
      splash.sizeForm->label->SetVisible(true);
      splash.sizeForm->label->SetText(std::to_string(frames) + "Mb/1024Mb");
    }
    for (BaseForm* form : splash.forms) form->Tick(elapsed);
    lastFrameTime = now;
    RequestRepaint(splash.mainWindow);
    for (BaseForm* form : splash.forms) form->SyncToOwner();
    ++frames;
  }
  const double cpu = CpuSeconds() - cpuStart, wall = WallSeconds() - wallStart;
  measuredFrames = frames - measuredFrames;
  std::printf("%s splash, %s backend: %.1f s, %ld frames (%.1f/s), CPU %.2f s = %.2f %% of one core\n",
              busy ? "busy" : "idle", windows->Name(), wall, measuredFrames, measuredFrames / wall,
              cpu, 100 * cpu / wall);
  if (!screenshot.empty() && !windows->WriteComposedPng(screenshot)) {
    std::fprintf(stderr, "cannot write %s\n", screenshot.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "compose") return Compose(argc > 2 ? std::atoi(argv[2]) : 200);
  if (mode == "bare") return Bare(argc > 2 ? std::atof(argv[2]) : 10);
  if (mode == "idle" || mode == "busy") {
    bool headless = false;
    std::string screenshot;
    for (int i = 3; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--headless") headless = true;
      if (arg == "--screenshot" && i + 1 < argc) screenshot = argv[++i];
    }
    return Run(mode == "busy", argc > 2 ? std::atof(argv[2]) : 10, headless, screenshot);
  }
  std::fprintf(stderr, "usage: %s compose [N] | bare SECONDS | idle|busy SECONDS [--headless] [--screenshot PATH]\n",
               argv[0]);
  return 2;
}

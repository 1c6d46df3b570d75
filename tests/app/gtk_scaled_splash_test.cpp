// The launcher's GTK window on an X screen of GDK_SCALE=2 (no window manager, no compositor):
// the splash covers the same share of the screen, is composed at twice the density and shown
// pixel for pixel, not stretched from the 1110 x 492 picture; the close button takes clicks at
// its scaled place.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/launcher_app.h"
#include "platform/window_system.h"
#include "tests/support/launcher_process.h"
#include "tests/support/scaled_splash.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine_session.h"
#include "tests/support/xvfb_display.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

constexpr int kScreenWidth = 2560;  // 1280 x 720 in GTK's pixels
constexpr int kScreenHeight = 1440;
constexpr float kScale = 2;

int Device(double layout) { return static_cast<int>(std::lround(layout * kScale)); }

// The launcher in a child process of its own, so that GTK starts there under GDK_SCALE=2: its
// splash with the close button shown, the frame loop running until the process ends.
pid_t StartLauncher(const std::string& folder) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  ::setenv("GDK_SCALE", "2", 1);
  if (::chdir(folder.c_str()) != 0) ::_exit(3);
  // The check's diagnostics (it finds no server) are not the case's.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) ::dup2(null, 1);
  alarm(60);  // never outlives the case
  auto windows = platform::CreateWindowSystem(nullptr, nullptr);
  if (std::string(windows->Name()) != "gtk") ::_exit(5);
  platform::SetCurrentWindowSystem(windows.get());
  auto* app = new LauncherApp(nullptr, *windows);
  app->ShowCloseButton();
  RunFrameLoop(*app, *windows);
  ::_exit(4);
}

// The child's exit code once it ended by itself within the time; -1 when it did not (then it is
// killed).
int WaitForExit(pid_t child, std::chrono::milliseconds timeout) {
  int status = 0;
  const bool ended = Eventually([&] { return ::waitpid(child, &status, WNOHANG) == child; }, timeout);
  if (!ended) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(GtkScaledSplash, TwiceTheDensityShowsTheSplashPixelForPixelAndTheCloseButtonWhereItIsDrawn) {
  if (!XvfbDisplay::Installed()) GTEST_SKIP() << "Xvfb is not installed";
  XvfbDisplay display(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(display.started());
  const platform::PixelBuffer expected = ComposeScaledSplash(kScale, true);
  ASSERT_EQ(expected.width, Device(1110));
  ASSERT_EQ(expected.height, Device(492));

  TempDir folder;
  const pid_t child = StartLauncher(folder.path());
  ASSERT_GT(child, 0);

  // Centred on the screen, in device pixels as in GTK's own.
  std::optional<ScreenRectangle> splash;
  ASSERT_TRUE(Eventually([&] { return (splash = WindowGeometry("Tidewake")).has_value(); }, 20s));
  EXPECT_EQ(splash->width, Device(1110));
  EXPECT_EQ(splash->height, Device(492));
  EXPECT_EQ(splash->x, (kScreenWidth - Device(1110)) / 2);
  EXPECT_EQ(splash->y, (kScreenHeight - Device(492)) / 2);

  // Every opaque pixel of the composition, text and artwork alike, shows unchanged at its place;
  // only the animated status line is left out. A picture of half the size stretched twice over
  // shows blurred edges instead.
  const ScreenRectangle statusLine{Device(585), Device(383), Device(230), Device(32)};
  const auto inStatusLine = [&](int x, int y) {
    return x >= statusLine.x && x < statusLine.x + statusLine.width && y >= statusLine.y &&
           y < statusLine.y + statusLine.height;
  };
  TempDir shots;
  int compared = 0, same = 0, textCompared = 0, textSame = 0;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  do {
    const platform::PixelBuffer screen = ScreenshotOfRoot(shots.path());
    ASSERT_EQ(screen.width, kScreenWidth);
    compared = same = textCompared = textSame = 0;
    for (int y = 0; y < expected.height; y += 2) {
      for (int x = 0; x < expected.width; x += 2) {
        const uint32_t want = expected.At(x, y);
        if ((want >> 24) != 255 || inStatusLine(x, y)) continue;
        const int sx = splash->x + x, sy = splash->y + y;
        if (sx >= screen.width || sy >= screen.height) continue;
        const bool equal = ChannelDistance(screen.At(sx, sy), want) <= 2;
        ++compared;
        same += equal;
        // The advisory lines' rows, where the white text lies over the art.
        if (y >= Device(429) && y < Device(475) && x >= Device(400)) {
          ++textCompared;
          textSame += equal;
        }
      }
    }
  } while (same < compared * 995 / 1000 && std::chrono::steady_clock::now() < deadline);
  EXPECT_GT(compared, 100000);
  EXPECT_GE(same, compared * 995 / 1000) << same << " of " << compared;
  EXPECT_GT(textCompared, 5000);
  EXPECT_GE(textSame, textCompared * 995 / 1000) << textSame << " of " << textCompared;

  // The close button's centre, at the screen's scale: the launcher ends a second later.
  ASSERT_TRUE(ClickAt(splash->x + Device(1027 + 24.5), splash->y + Device(44 + 24.5)));
  EXPECT_EQ(WaitForExit(child, 5s), 0) << "the click at the scaled close button did not end it";
}

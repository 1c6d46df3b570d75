// The Windows launcher on a screen of 144 DPI (150 %), as Windows shows it once the launcher is
// per-monitor DPI aware: the splash covers the same share of the screen as at 96 DPI, drawn at
// the screen's own density, and the close button takes clicks where it is drawn. The X screen
// is read back and compared with the splash as this build composes it at the same scale.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/launcher_road_fixture.h"
#include "tests/support/scaled_splash.h"
#include "tests/support/xvfb_display.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

constexpr float kScale = 1.5f;  // LogPixels 144
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

int Device(double layout) { return static_cast<int>(std::lround(layout * kScale)); }

bool Inside(int x, int y, const ScreenRectangle& r) {
  return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

class HighDpiRoadTest : public LauncherRoadFixture, public testing::WithParamInterface<Platform> {
 protected:
  void SetUp() override { StartOn(GetParam()); }
};

TEST_P(HighDpiRoadTest, SplashAt144DpiIsDrawnAtTheScreensDensityAndItsCloseButtonTakesClicks) {
  const char* prefix = std::getenv("TIDEWAKE_WINE_PREFIX_144DPI");
  ASSERT_TRUE(prefix != nullptr && *prefix != '\0')
      << "scripts/test-windows.sh names the Wine prefix of 144 DPI in TIDEWAKE_WINE_PREFIX_144DPI";
  // A screen of its own, wide enough for the scaled splash; the prefix's services start on it.
  XvfbDisplay display(kScreenWidth, kScreenHeight);
  ASSERT_TRUE(display.started());
  SetWineVariable("WINEPREFIX", prefix);
  struct StopWineServer {
    std::string prefix;
    ~StopWineServer() { RunTool({"env", "WINEPREFIX=" + prefix, "wineserver", "-k"}, 30s); }
  } stopWineServer{prefix};
  ASSERT_EQ(RunUnderWine(*wine_, "cmd", {"/c", "exit"}, 120s), 0);

  server_.Stop();
  // The first program on a fresh display of a freshly copied prefix has, once in many CI runs,
  // never started: nothing logged in a minute. That is Wine's start, not the launcher's road, so
  // such a start is tried once more; a launcher that started and then went quiet still fails.
  std::optional<LauncherProcess> started;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    started.emplace(dir(), std::vector<std::string>{}, Options("leave"));
    if (Eventually([&] { return !started->Out().empty(); }, 30s)) break;
    std::printf("the launcher logged nothing in 30 s under Wine (start %d)\n", attempt);
    started.reset();
  }
  ASSERT_TRUE(started.has_value()) << "the launcher never started under Wine";
  LauncherProcess& launcher = *started;
  // The time-out prompt has shown the close button.
  ASSERT_TRUE(Eventually([&] { return launcher.Err().find(Shown("请求超时")) != std::string::npos; },
                         60s))
      << "running: " << launcher.Running() << "\nlog:\n" << launcher.Out() << "\nboxes:\n"
      << launcher.Err();

  // The window covers the same share of the screen as 1110 x 492 pixels at 96 DPI, centred.
  const std::optional<ScreenRectangle> splash = WindowGeometry("Tidewake");
  ASSERT_TRUE(splash.has_value());
  EXPECT_EQ(splash->width, 1665);
  EXPECT_EQ(splash->height, 738);
  EXPECT_EQ(splash->x, (kScreenWidth - 1665) / 2);
  EXPECT_EQ(splash->y, (kScreenHeight - 738) / 2);
  ASSERT_GE(splash->width, 1665);
  ASSERT_GE(splash->height, 738);
  // The box stands over the splash; what it covers is not compared.
  const ScreenRectangle box = WindowGeometry(Shown("请求超时")).value_or(ScreenRectangle{});

  const platform::PixelBuffer expected = ComposeScaledSplash(kScale, true);
  const platform::PixelBuffer withoutNotices = ComposeScaledSplash(kScale, false);
  const platform::PixelBuffer closeButtonAlone = ComposeScaledSplash(kScale, false, false);
  ASSERT_EQ(expected.width, 1665);

  // Artwork: every flat region of the composition shows on screen in its colour, at its scaled
  // place. The screen may need a few frames after the prompt.
  TempDir shots;
  platform::PixelBuffer screen;
  std::vector<ArtworkArea> areas;
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  do {
    screen = ScreenshotOfRoot(shots.path());
    ASSERT_EQ(screen.width, kScreenWidth);
    areas = MatchArtwork(screen, splash->x, splash->y, expected, closeButtonAlone, kScale, box, 12);
  } while (!AllMatched(areas) && std::chrono::steady_clock::now() < deadline);
  for (const ArtworkArea& area : areas) {
    EXPECT_GT(area.compared, 40) << area.name;
    EXPECT_GE(area.same, area.compared * 97 / 100) << area.name << ": " << area.same << " of "
                                                  << area.compared << " points";
  }

  // Text: the two advisory lines start at their scaled place and run as long as 27 characters
  // of 30 pixels do (20 pixels at 96 DPI). Looked for between the progress track and the
  // window's border.
  int left = expected.width, right = -1, top = expected.height;
  for (int y = Device(427); y < Device(478); ++y) {
    for (int x = Device(390); x < Device(1060); ++x) {
      if (Inside(splash->x + x, splash->y + y, box)) continue;
      if (ChannelDistance(screen.At(splash->x + x, splash->y + y), withoutNotices.At(x, y)) < 80) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
    }
  }
  EXPECT_GE(left, Device(400) - 2);
  EXPECT_LE(left, Device(400) + 12);
  EXPECT_GE(right, Device(400) + 27 * 30 * 85 / 100);
  EXPECT_GE(top, Device(429) - 2);
  EXPECT_LE(top, Device(429) + 12);

  // The close button's centre, at the screen's scale.
  const auto clicked = std::chrono::steady_clock::now();
  ASSERT_TRUE(ClickAt(splash->x + Device(1027 + 24.5), splash->y + Device(44 + 24.5)));
  const LauncherOutcome outcome = launcher.Wait(5s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
  ASSERT_TRUE(outcome.exited) << "the click at the scaled close button did not end the launcher";
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_GE(seconds, 1.0);
}

// Only the Windows launcher has a DPI to be aware of; the GTK window's scale is tested in
// gtk_scaled_splash_test.cpp.
INSTANTIATE_TEST_SUITE_P(Windows, HighDpiRoadTest, testing::Values(Platform::Windows),
                         PlatformParamName);

}  // namespace

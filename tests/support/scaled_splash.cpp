#include "tests/support/scaled_splash.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <memory>

#include "platform/window_system.h"
#include "ui/layout_scale.h"
#include "ui/painter.h"
#include "ui/splash_screen.h"

namespace testing_support {
namespace {

int Scaled(double layout, float scale) { return static_cast<int>(std::lround(layout * scale)); }

bool Inside(int x, int y, const ScreenRectangle& r) {
  return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

// Every channel within two steps over the square around the point.
bool Flat(const platform::PixelBuffer& pixels, int x, int y, int radius) {
  const uint32_t centre = pixels.At(x, y);
  if ((centre >> 24) != 255) return false;
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      const int px = x + dx, py = y + dy;
      if (px < 0 || py < 0 || px >= pixels.width || py >= pixels.height) return false;
      const uint32_t p = pixels.At(px, py);
      if ((p >> 24) != 255 || ChannelDistance(p, centre) > 2) return false;
    }
  }
  return true;
}

}  // namespace

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    if (d > worst) worst = d;
  }
  return worst;
}

platform::PixelBuffer ComposeScaledSplash(float scale, bool withNotices, bool withArtwork) {
  std::unique_ptr<platform::WindowSystem> windows = platform::CreateHeadlessWindowSystem(scale);
  platform::SetCurrentWindowSystem(windows.get());
  SetLayoutScale(scale);
  uint32_t tick = 0;
  SetPaintTickSource([&tick] { return tick += 17; });
  SplashScreen splash;
  windows->SetWindowProcedure([](WindowHandle window, platform::WindowMessage message,
                                 const platform::MessageParams&) {
    if (message == platform::WindowMessage::Paint) PaintLayeredWindow(window);
  });
  splash.mainWindow = windows->CreateMainWindow("Tidewake", ToDevicePixels(splash.width),
                                                ToDevicePixels(splash.height), nullptr, 0);
  splash.BuildSplash();
  splash.statusForm->label->SetVisible(false);
  splash.progressForm->image->SetVisible(false);
  splash.speedForm->label->SetVisible(false);
  splash.sizeForm->label->SetVisible(false);
  splash.closeForm->image->SetVisible(true);
  splash.noticeLabel1->SetVisible(withNotices);
  splash.noticeLabel2->SetVisible(withNotices);
  for (Drawable* art : std::initializer_list<Drawable*>{splash.background, splash.logoImage,
                                                      splash.bannerImage, splash.progressTrack}) {
    art->SetVisible(withArtwork);
  }
  for (int frame = 0; frame < 3; ++frame) {
    RequestRepaint(splash.mainWindow);
    for (BaseForm* form : splash.forms) form->SyncToOwner();
    while (windows->PeekAndDispatch()) {
    }
  }
  platform::PixelBuffer pixels = windows->ComposedPixels();
  // Drawables and forms live until the process ends in the launcher; here only for the picture.
  for (Drawable* drawable : drawableList) delete drawable;
  drawableList.clear();
  for (BaseForm* form : splash.forms) delete form;
  SetPaintTickSource(nullptr);
  ResetPaintThrottle();
  SetLayoutScale(1);
  platform::SetCurrentWindowSystem(nullptr);
  return pixels;
}

std::vector<ArtworkArea> MatchArtwork(const platform::PixelBuffer& screen, int left, int top,
                                      const platform::PixelBuffer& expected,
                                      const platform::PixelBuffer& overlays, float scale,
                                      const ScreenRectangle& covered, int tolerance) {
  const auto s = [scale](double v) { return Scaled(v, scale); };
  std::vector<ArtworkArea> areas{{"background", {0, 0, s(1110), s(492)}},
                                 {"logo", {s(151), s(51), s(153), s(86)}},
                                 {"banner", {s(180), s(170), s(261), s(123)}},
                                 {"close button", {s(1027), s(44), s(49), s(49)}}};
  // The labels' rows, from the status line to below the second advisory line.
  const ScreenRectangle textRows{s(380), s(380), s(1110) - s(380), s(480) - s(380)};
  for (int y = 0; y < expected.height; y += 3) {
    for (int x = 0; x < expected.width; x += 3) {
      const int sx = left + x, sy = top + y;
      if (Inside(x, y, textRows) || Inside(sx, sy, covered)) continue;
      if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height) continue;
      const uint32_t overlayAlpha = overlays.At(x, y) >> 24;
      if ((overlayAlpha != 0 && overlayAlpha != 255) || !Flat(expected, x, y, 2)) continue;
      const bool same = ChannelDistance(screen.At(sx, sy), expected.At(x, y)) <= tolerance;
      for (ArtworkArea& area : areas) {
        if (!Inside(x, y, area.rect)) continue;
        ++area.compared;
        area.same += same;
      }
    }
  }
  return areas;
}

bool AllMatched(const std::vector<ArtworkArea>& areas) {
  for (const ArtworkArea& area : areas) {
    if (area.compared == 0 || area.same < area.compared * 97 / 100) return false;
  }
  return true;
}

platform::PixelBuffer ScreenshotOfRoot(const std::string& folder) {
  const std::string path = folder + "/screen.png";
  if (!RunTool({"import", "-window", "root", path}, std::chrono::seconds(30))) return {};
  return platform::ReadPngFile(path);
}

}  // namespace testing_support

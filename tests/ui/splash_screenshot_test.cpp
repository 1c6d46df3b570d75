// The whole splash composed by the headless backend, as the application shows it after start-up
// and at full progress.

#include <gtest/gtest.h>

#include <string>

#include "platform/window_system.h"
#include "tests/support/fresh_drawables.h"
#include "tests/support/temp_dir.h"
#include "ui/click_dispatch.h"
#include "ui/painter.h"
#include "ui/splash_screen.h"

namespace {

uint32_t A(uint32_t p) { return p >> 24; }

class CountingSplash : public SplashScreen {
 public:
  void OnCloseClicked() override { ++closeClicks; }
  int closeClicks = 0;
};

class SplashScreenshot : public testing_support::FreshDrawables {
 protected:
  SplashScreenshot() {
    platform::SetCurrentWindowSystem(windows.get());
    windows->SetWindowProcedure([this](WindowHandle window, platform::WindowMessage message,
                                       const platform::MessageParams& params) {
      if (message == platform::WindowMessage::Paint) PaintLayeredWindow(window);
      if (message == platform::WindowMessage::LButtonDown) {
        HandleLeftButtonDown(splash.mainWindow, params.keyState, params.x, params.y);
      }
    });
    splash.mainWindow = windows->CreateMainWindow("Tidewake", splash.width, splash.height,
                                                  nullptr, 0);
    splash.BuildSplash();
    const Rect screen = windows->ScreenRect();
    windows->SetWindowPos(splash.mainWindow,
                          {(screen.width - splash.width) / 2, (screen.height - splash.height) / 2,
                           splash.width, splash.height},
                          false);
    // What the application does before the check starts, and when it starts.
    splash.statusForm->label->SetVisible(false);
    splash.progressForm->image->SetVisible(false);
    splash.speedForm->label->SetVisible(false);
    splash.sizeForm->label->SetVisible(false);
    splash.statusForm->label->SetVisible(true);
    splash.progressForm->image->SetVisible(true);
  }
  ~SplashScreenshot() override { platform::SetCurrentWindowSystem(nullptr); }

  // One frame of the application's loop, then every message it caused.
  void Frame() {
    tick += 17;
    RequestRepaint(splash.mainWindow);
    for (BaseForm* form : splash.forms) form->SyncToOwner();
    while (windows->PeekAndDispatch()) {
      tick += 17;
    }
  }

  // Pixels whose straight colour is the label colour inside the label's text row.
  int Ink(const platform::PixelBuffer& pixels, int x0, int y0, int x1, int y1, uint32_t rgb) {
    int ink = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const uint32_t p = pixels.At(x, y);
        if (A(p) == 255 && (p & 0xFFFFFF) == rgb) ++ink;
      }
    }
    return ink;
  }

  std::unique_ptr<platform::WindowSystem> windows = platform::CreateHeadlessWindowSystem();
  CountingSplash splash;
};

TEST_F(SplashScreenshot, BuildsTheElementsInOrder) {
  ASSERT_EQ(splash.forms.size(), 5u);
  EXPECT_EQ(splash.forms[0], splash.statusForm);
  EXPECT_EQ(splash.forms[1], splash.sizeForm);
  EXPECT_EQ(splash.forms[2], splash.speedForm);
  EXPECT_EQ(splash.forms[3], splash.progressForm);
  EXPECT_EQ(splash.forms[4], splash.closeForm);
  ASSERT_EQ(drawableList.size(), 11u);
  EXPECT_EQ(drawableList[0], splash.background);
  EXPECT_EQ(drawableList[5], splash.progressTrack);
  EXPECT_EQ(drawableList[10], splash.closeForm->image);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(drawableList[i]->owner, splash.mainWindow);
  for (BaseForm* form : splash.forms) {
    const Rect r = windows->WindowRect(form->window);
    EXPECT_EQ(r.width, 1110);
    EXPECT_EQ(r.height, 492);
  }
  const MySlice9Image* fill = splash.progressForm->image;
  EXPECT_EQ(fill->x, 402);
  EXPECT_EQ(fill->width, 0);
  EXPECT_EQ(fill->height, 17);
  EXPECT_EQ(fill->insets.left, 7);
  EXPECT_EQ(fill->insets.bottom, 6);
  const MySlice9Image* close = splash.closeForm->image;
  EXPECT_EQ(close->x, 1027);
  EXPECT_EQ(close->width, 49);
  EXPECT_FALSE(close->visible);
  EXPECT_EQ(splash.sizeForm->label->color, 0xFF00FFFFu);
  EXPECT_EQ(splash.noticeLabel1->text.size(), 54u);
  EXPECT_EQ(splash.noticeLabel2->text.size(), 54u);
}

TEST_F(SplashScreenshot, AfterStartUp) {
  for (int i = 0; i < 3; ++i) Frame();
  const platform::PixelBuffer shot = windows->ComposedPixels();
  ASSERT_EQ(shot.width, 1110);
  ASSERT_EQ(shot.height, 492);
  testing_support::TempDir dir;
  ASSERT_TRUE(windows->WriteComposedPng(dir.path() + "/splash.png"));

  // Transparent outside the rounded panel, opaque inside.
  EXPECT_EQ(A(shot.At(5, 5)), 0u);
  EXPECT_EQ(A(shot.At(555, 250)), 255u);
  // The advisory lines and the status line are white text in their rows.
  EXPECT_GT(Ink(shot, 400, 429, 1000, 449, 0xFFFFFF), 200);
  EXPECT_GT(Ink(shot, 400, 451, 1000, 471, 0xFFFFFF), 200);
  EXPECT_GT(Ink(shot, 589, 387, 700, 407, 0xFFFFFF), 30);
  // The size and speed labels are hidden: no cyan.
  EXPECT_EQ(Ink(shot, 0, 0, 1110, 492, 0x00FFFF), 0);
  // The empty fill draws nothing: the track (slate blue) shows at its start.
  const uint32_t trackStart = shot.At(410, 417);
  EXPECT_LT((trackStart >> 8) & 0xFF, 0x90u);
  // The close button is hidden: the background shows where it would be.
  EXPECT_LT(Ink(shot, 1027, 44, 1077, 94, 0xFFFFFF), 5);

  // A press on the hidden button does nothing.
  windows->PostWindowMessage(splash.closeForm->window, platform::WindowMessage::LButtonDown,
                             {platform::kMkLButton, 1050, 60});
  Frame();
  EXPECT_EQ(splash.closeClicks, 0);

  // The same pixels come back from the PNG file.
  const platform::PixelBuffer file = platform::ReadPngFile(dir.path() + "/splash.png");
  ASSERT_EQ(file.width, 1110);
  EXPECT_EQ(file.At(555, 250), shot.At(555, 250));
}

TEST_F(SplashScreenshot, AtFullProgress) {
  Frame();
  MySlice9Image* fill = splash.progressForm->image;
  fill->SetRect({fill->x, fill->y, splash.progressFullWidth, fill->height});
  splash.sizeForm->label->SetText("1024Mb/1024Mb");
  splash.sizeForm->label->SetVisible(true);
  splash.speedForm->label->SetText("2048Kb/s");
  splash.speedForm->label->SetVisible(true);
  splash.closeForm->image->SetVisible(true);
  for (int i = 0; i < 3; ++i) Frame();
  const platform::PixelBuffer shot = windows->ComposedPixels();

  // The light-green fill covers the track from x 402 to 965 and ends there.
  auto green = [&](int x) {
    const uint32_t p = shot.At(x, 419);
    return A(p) == 255 && ((p >> 8) & 0xFF) > 0xB0 && ((p >> 8) & 0xFF) > ((p >> 16) & 0xFF);
  };
  EXPECT_TRUE(green(410));
  EXPECT_TRUE(green(684));
  EXPECT_TRUE(green(960));
  EXPECT_FALSE(green(968));
  // Cyan text in the size and speed rows.
  EXPECT_GT(Ink(shot, 746, 389, 890, 407, 0x00FFFF), 30);
  EXPECT_GT(Ink(shot, 899, 389, 1000, 407, 0x00FFFF), 30);
  // The close button shows its white cross, and a click inside it, edges included, reaches it.
  EXPECT_GT(Ink(shot, 1027, 44, 1077, 94, 0xFFFFFF), 20);
  for (auto [x, y] : {std::pair{1027, 44}, {1076, 93}, {1077, 94}, {1050, 60}}) {
    windows->PostWindowMessage(splash.mainWindow, platform::WindowMessage::LButtonDown,
                               {platform::kMkLButton, x, y});
  }
  windows->PostWindowMessage(splash.mainWindow, platform::WindowMessage::LButtonDown,
                             {platform::kMkLButton | platform::kMkShift, 1050, 60});
  Frame();
  EXPECT_EQ(splash.closeClicks, 3);
}

TEST_F(SplashScreenshot, AChangeOnAnOverlayRecomposesOnlyThatWindow) {
  for (int i = 0; i < 3; ++i) Frame();
  int mainPaints = 0, statusPaints = 0;
  windows->SetWindowProcedure([&](WindowHandle window, platform::WindowMessage message,
                                  const platform::MessageParams&) {
    if (message != platform::WindowMessage::Paint) return;
    if (window == splash.mainWindow) ++mainPaints;
    if (window == splash.statusForm->window) ++statusPaints;
    PaintLayeredWindow(window);
  });
  splash.statusForm->label->SetText("下载中.");
  Frame();
  EXPECT_EQ(statusPaints, 1);
  EXPECT_EQ(mainPaints, 0);
  EXPECT_FALSE(splash.statusForm->label->dirty);
}

}  // namespace

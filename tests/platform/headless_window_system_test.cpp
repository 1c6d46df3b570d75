// The headless backend: delivery order of messages, the layer stack, and damage-limited
// recomposition with the same pixels as a full one.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/window_system.h"
#include "resources/embedded_png.h"
#include "resources/resource_ids.h"

namespace {

using platform::WindowHandle;
using platform::WindowMessage;

class HeadlessWindows : public ::testing::Test {
 protected:
  HeadlessWindows() {
    windows->SetWindowProcedure(
        [this](WindowHandle window, WindowMessage message, const platform::MessageParams& p) {
          log.push_back(Name(window) + ":" + std::to_string(static_cast<int>(message)) + ":" +
                        std::to_string(p.keyState));
          if (message == WindowMessage::Paint) onPaint(window);
        });
  }

  std::string Name(WindowHandle window) {
    if (window == main) return "main";
    for (size_t i = 0; i < overlays.size(); ++i) {
      if (overlays[i] == window) return "o" + std::to_string(i);
    }
    return "?";
  }

  WindowHandle AddOverlay() {
    overlays.push_back(windows->CreateOverlayWindow(main));
    windows->SetWindowPos(overlays.back(), windows->WindowRect(main), true);
    return overlays.back();
  }

  // Paints a solid rectangle as the window's whole content.
  void PresentRect(WindowHandle window, platform::RectF where, int id) {
    const EmbeddedBytes bytes = FindEmbeddedPng(id);
    auto image = platform::DecodePngImage(bytes.data, bytes.size);
    auto surface = windows->CreateSurface(200, 100);
    surface->GetCanvas().DrawImage(*image, where, {7, 5, 4, 4}, 0xFFFFFFFF);
    windows->Present(window, std::move(surface));
  }

  void Drain() {
    while (windows->PeekAndDispatch()) {
    }
  }

  std::unique_ptr<platform::WindowSystem> windows = platform::CreateHeadlessWindowSystem();
  WindowHandle main = windows->CreateMainWindow("t", 200, 100, nullptr, 0);
  std::vector<WindowHandle> overlays;
  std::vector<std::string> log;
  std::function<void(WindowHandle)> onPaint = [](WindowHandle) {};
};

TEST_F(HeadlessWindows, PaintMessagesComeAfterPostedOnesAndOncePerWindow) {
  WindowHandle o0 = AddOverlay();
  windows->Invalidate(o0);
  windows->Invalidate(main);
  windows->Invalidate(o0);
  windows->PostWindowMessage(main, WindowMessage::Wake);
  windows->PostWindowMessage(o0, WindowMessage::LButtonDown, {platform::kMkLButton, 1, 2});
  Drain();
  EXPECT_EQ(log, (std::vector<std::string>{"main:5:0", "o0:4:1", "o0:1:0", "main:1:0"}));
  EXPECT_FALSE(windows->PeekAndDispatch());
}

TEST_F(HeadlessWindows, TheWindowThatWaitedLongestIsPaintedFirst) {
  WindowHandle o0 = AddOverlay();
  WindowHandle o1 = AddOverlay();
  // Like the painter under its throttle: only the first paint of a pass presents.
  bool presentedThisPass = false;
  onPaint = [&](WindowHandle window) {
    if (presentedThisPass) return;
    presentedThisPass = true;
    windows->Present(window, windows->CreateSurface(200, 100));
  };
  std::vector<std::string> presented;
  for (int frame = 0; frame < 4; ++frame) {
    presentedThisPass = false;
    log.clear();
    // o0 changes every frame and asks first; o1 must still get its turn.
    windows->Invalidate(o0);
    windows->Invalidate(o1);
    Drain();
    presented.push_back(log.front().substr(0, 2));
  }
  EXPECT_EQ(presented, (std::vector<std::string>{"o0", "o1", "o0", "o1"}));
}

TEST_F(HeadlessWindows, TasksPostedFromAnotherThreadRunOnTheDispatchingThread) {
  std::thread::id ranOn;
  std::thread worker([&] { windows->PostTask([&] { ranOn = std::this_thread::get_id(); }); });
  worker.join();
  EXPECT_TRUE(windows->PeekAndDispatch());
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(HeadlessWindows, MovingTheMainWindowSendsMoveAtOnce) {
  windows->SetWindowPos(main, {10, 20, 200, 100}, false);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "main:0:0");
  windows->SetWindowPos(main, {10, 20, 200, 100}, false);
  EXPECT_EQ(log.size(), 1u);
  const platform::Rect r = windows->WindowRect(main);
  EXPECT_EQ(r.x, 10);
  EXPECT_EQ(r.y, 20);
}

TEST_F(HeadlessWindows, OverlaysStackInTheOrderTheyWereLastRaised) {
  WindowHandle o0 = AddOverlay();
  WindowHandle o1 = AddOverlay();
  PresentRect(o0, {0, 0, 50, 50}, kProgressFillPng);    // green
  PresentRect(o1, {0, 0, 50, 50}, kProgressTrackPng);   // slate blue
  EXPECT_EQ(windows->ComposedPixels().At(10, 10) & 0xFFFFFF,
            [&] {
              auto only = platform::CreateHeadlessWindowSystem();
              WindowHandle m = only->CreateMainWindow("t", 200, 100, nullptr, 0);
              const EmbeddedBytes bytes = FindEmbeddedPng(kProgressTrackPng);
              auto image = platform::DecodePngImage(bytes.data, bytes.size);
              auto surface = only->CreateSurface(200, 100);
              surface->GetCanvas().DrawImage(*image, {0, 0, 50, 50}, {7, 5, 4, 4}, 0xFFFFFFFF);
              only->Present(m, std::move(surface));
              return only->ComposedPixels().At(10, 10) & 0xFFFFFF;
            }());
  const uint32_t blue = windows->ComposedPixels().At(10, 10);
  windows->SetWindowPos(o0, windows->WindowRect(main), true);
  const uint32_t green = windows->ComposedPixels().At(10, 10);
  EXPECT_NE(blue, green);
  EXPECT_GT((green >> 8) & 0xFF, (green >> 16) & 0xFF);
}

TEST_F(HeadlessWindows, PartialRecompositionGivesTheSamePixelsAsAFullOne) {
  WindowHandle o0 = AddOverlay();
  WindowHandle o1 = AddOverlay();
  PresentRect(main, {0, 0, 200, 100}, kProgressTrackPng);
  PresentRect(o0, {10, 10, 40, 20}, kProgressFillPng);
  PresentRect(o1, {30, 20, 40, 40}, kCloseButtonPng);
  windows->ComposedPixels();
  // Move o0's content, shrink o1's, then compare with a stack composed from scratch.
  PresentRect(o0, {120, 50, 60, 30}, kProgressFillPng);
  PresentRect(o1, {30, 20, 10, 10}, kCloseButtonPng);
  const platform::PixelBuffer partial = windows->ComposedPixels();

  auto fresh = platform::CreateHeadlessWindowSystem();
  WindowHandle m = fresh->CreateMainWindow("t", 200, 100, nullptr, 0);
  std::swap(windows, fresh);
  std::swap(main, m);
  overlays.clear();
  WindowHandle f0 = AddOverlay();
  WindowHandle f1 = AddOverlay();
  PresentRect(main, {0, 0, 200, 100}, kProgressTrackPng);
  PresentRect(f0, {120, 50, 60, 30}, kProgressFillPng);
  PresentRect(f1, {30, 20, 10, 10}, kCloseButtonPng);
  const platform::PixelBuffer full = windows->ComposedPixels();
  EXPECT_EQ(partial.argb, full.argb);
}

}  // namespace

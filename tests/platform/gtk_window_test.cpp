// The GTK backend on a real X server (Xvfb, no window manager, no compositor): the splash shows
// on screen as composed, takes clicks, and message boxes from a worker appear while the frame
// loop keeps running.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "tests/support/fresh_drawables.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb_display.h"
#include "ui/click_dispatch.h"
#include "ui/painter.h"
#include "ui/splash_screen.h"

namespace {

using testing_support::RunCommand;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

class CountingSplash : public SplashScreen {
 public:
  void OnCloseClicked() override { ++closeClicks; }
  std::atomic<int> closeClicks{0};
};

class GtkWindowTest : public testing_support::FreshDrawables {
 protected:
  static void SetUpTestSuite() {
    if (!testing_support::XvfbDisplay::Installed()) return;
    display = new testing_support::XvfbDisplay(kScreenWidth, kScreenHeight);
  }
  static void TearDownTestSuite() {
    delete display;
    display = nullptr;
  }

  void SetUp() override {
    if (!testing_support::XvfbDisplay::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(display != nullptr && display->started()) << "Xvfb did not start";
    SetPaintTickSource(nullptr);
    windows = platform::CreateWindowSystem(nullptr, nullptr);
    ASSERT_STREQ(windows->Name(), "gtk");
    platform::SetCurrentWindowSystem(windows.get());
    windows->SetWindowProcedure([this](WindowHandle window, platform::WindowMessage message,
                                       const platform::MessageParams& params) {
      switch (message) {
        case platform::WindowMessage::Paint:
          PaintLayeredWindow(window);
          break;
        case platform::WindowMessage::LButtonDown:
          HandleLeftButtonDown(splash.mainWindow, params.keyState, params.x, params.y);
          break;
        case platform::WindowMessage::Move:
          ++moves;
          break;
        default:
          break;
      }
    });
    splash.mainWindow = windows->CreateMainWindow("Tidewake", splash.width, splash.height,
                                                  nullptr, 0);
    splash.BuildSplash();
    windows->SetWindowPos(splash.mainWindow, {left, top, splash.width, splash.height}, false);
  }

  void TearDown() override {
    windows.reset();
    platform::SetCurrentWindowSystem(nullptr);
  }

  // The application's frame loop, for a while.
  void RunFrames(int milliseconds) {
    const int64_t frequency = platform::PerformanceFrequency();
    const int64_t interval = frequency / 60;
    const int64_t end = platform::PerformanceCounter() + frequency * milliseconds / 1000;
    int64_t frameBase = platform::PerformanceCounter();
    while (platform::PerformanceCounter() < end) {
      if (windows->PeekAndDispatch()) continue;
      const int64_t now = platform::PerformanceCounter();
      if (now - frameBase <= interval) {
        platform::SleepMs(1);
        continue;
      }
      frameBase = now - now % interval;
      RequestRepaint(splash.mainWindow);
      for (BaseForm* form : splash.forms) form->SyncToOwner();
    }
  }

  // Frames until every drawable was painted and presented: a loaded machine (sanitizers,
  // parallel builds) can take seconds for the first map. Asking the window system for its pixels
  // meanwhile would compose ahead of the screen, so only the dirty flags are watched.
  void RunFramesUntilComposed() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    const auto anyDirty = [] {
      for (const Drawable* drawable : drawableList) {
        if (drawable->dirty) return true;
      }
      return false;
    };
    do {
      RunFrames(100);
    } while (anyDirty() && std::chrono::steady_clock::now() < deadline);
    RunFrames(300);  // the backend draws what was presented on its own frame clock
  }

  // Frames until the predicate holds or a few seconds passed.
  template <class Predicate>
  void RunFramesUntil(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!predicate() && std::chrono::steady_clock::now() < deadline) RunFrames(50);
  }

  platform::PixelBuffer Screenshot() {
    testing_support::TempDir dir;
    const std::string path = dir.path() + "/screen.png";
    EXPECT_EQ(RunCommand("import -window root " + path + " 2>&1"), 0);
    return platform::ReadPngFile(path);
  }

  static testing_support::XvfbDisplay* display;
  std::unique_ptr<platform::WindowSystem> windows;
  CountingSplash splash;
  int moves = 0;
  const int left = (kScreenWidth - 1110) / 2;
  const int top = (kScreenHeight - 492) / 2;
};

testing_support::XvfbDisplay* GtkWindowTest::display = nullptr;

TEST_F(GtkWindowTest, TheSplashIsOnScreenAsComposed) {
  splash.closeForm->image->SetVisible(true);
  RunFramesUntilComposed();
  const platform::PixelBuffer composed = windows->ComposedPixels();
  // The X server shows what was presented once GTK's frame clock drew it: look again while it
  // has not, for a few seconds on a loaded machine.
  platform::PixelBuffer screen;
  int compared = 0, equal = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    RunFrames(200);
    screen = Screenshot();
    ASSERT_EQ(screen.width, kScreenWidth);
    ASSERT_EQ(screen.height, kScreenHeight);
    // Every opaque pixel of the composition shows unchanged at the window's place.
    compared = 0;
    equal = 0;
    for (int y = 0; y < composed.height; y += 7) {
      for (int x = 0; x < composed.width; x += 7) {
        const uint32_t c = composed.At(x, y);
        if ((c >> 24) != 255) continue;
        ++compared;
        if ((screen.At(left + x, top + y) & 0xFFFFFF) == (c & 0xFFFFFF)) ++equal;
      }
    }
  } while (equal != compared && std::chrono::steady_clock::now() < deadline);
  EXPECT_GT(compared, 5000);
  EXPECT_EQ(equal, compared);
  // The shape cuts away the transparent corner: the (black) root shows there.
  EXPECT_EQ(screen.At(left + 2, top + 2) & 0xFFFFFF, 0u);
  EXPECT_EQ(windows->WindowRect(splash.mainWindow).x, left);
}

TEST_F(GtkWindowTest, APointerClickOnTheCloseButtonReachesItsCallback) {
  splash.closeForm->image->SetVisible(true);
  RunFramesUntilComposed();
  RunFrames(300);
  ASSERT_EQ(RunCommand("xdotool mousemove " + std::to_string(left + 1050) + " " +
                       std::to_string(top + 68) + " click 1"),
            0);
  RunFramesUntil([&] { return splash.closeClicks.load() > 0; });
  RunFrames(100);
  EXPECT_EQ(splash.closeClicks.load(), 1);
  // A click elsewhere only drags.
  ASSERT_EQ(RunCommand("xdotool mousemove " + std::to_string(left + 300) + " " +
                       std::to_string(top + 300) + " click 1"),
            0);
  RunFrames(300);
  EXPECT_EQ(splash.closeClicks.load(), 1);
}

TEST_F(GtkWindowTest, ABoxFromAWorkerShowsWhileTheLoopRunsAndIsAnswered) {
  RunFrames(200);
  auto answer = std::async(std::launch::async, [] {
    return platform::ShowMessageBox("package check failed", "tidewake test box",
                                    platform::kMbRetryCancel | platform::kMbIconError);
  });
  std::string id;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (id.empty() && std::chrono::steady_clock::now() < deadline) {
    RunFrames(100);
    RunCommand("xdotool search --onlyvisible --name '^tidewake test box$' 2>/dev/null", &id);
  }
  ASSERT_FALSE(id.empty()) << "the dialog never appeared";
  // The default button is Retry; without a window manager focus follows the pointer.
  const std::string window = id.substr(0, id.find('\n'));
  RunCommand("xdotool mousemove --window " + window + " 20 20 key Return");
  while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
         std::chrono::steady_clock::now() < deadline) {
    RunFrames(50);
  }
  ASSERT_EQ(answer.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
  EXPECT_EQ(answer.get(), platform::kIdRetry);
}

TEST_F(GtkWindowTest, ABoxOnTheUserInterfaceThreadRunsTheLoopUntilAnswered) {
  RunFrames(100);
  // Someone presses Enter on the box once it shows; meanwhile this thread is inside the box.
  std::thread user([] {
    std::string id;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (id.empty() && std::chrono::steady_clock::now() < deadline) {
      RunCommand("xdotool search --onlyvisible --name '^tidewake ui box$' 2>/dev/null", &id);
    }
    if (!id.empty()) {
      RunCommand("xdotool mousemove --window " + id.substr(0, id.find('\n')) + " 20 20 key Return");
    }
  });
  const int answer = platform::ShowMessageBox("resource missing", "tidewake ui box", platform::kMbOk);
  user.join();
  EXPECT_EQ(answer, platform::kIdOk);
}

TEST_F(GtkWindowTest, PendingBoxesAreAnsweredWhenTheWindowSystemGoes) {
  RunFrames(100);
  auto answer = std::async(std::launch::async, [] {
    return platform::ShowMessageBox("no answer", "tidewake pending box", platform::kMbRetryCancel);
  });
  std::string id;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (id.empty() && std::chrono::steady_clock::now() < deadline) {
    RunFrames(100);
    RunCommand("xdotool search --onlyvisible --name '^tidewake pending box$' 2>/dev/null", &id);
  }
  ASSERT_FALSE(id.empty());
  windows.reset();
  platform::SetCurrentWindowSystem(nullptr);
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(answer.get(), platform::kIdCancel);
}

}  // namespace

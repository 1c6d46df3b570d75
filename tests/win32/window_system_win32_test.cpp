// The Win32 window system on a real (Xvfb) display: the window procedure's rows, tasks from other
// threads, the splash composed through layered windows and read back from the screen, and the
// system's message boxes answered with xdotool.

#include <gtest/gtest.h>
#include <windows.h>
#include <gdiplus.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_box.h"
#include "platform/window_system.h"
#include "tests/support/fresh_drawables.h"
#include "ui/painter.h"
#include "ui/splash_screen.h"

namespace {

struct Delivered {
  WindowHandle window;
  platform::WindowMessage message;
  platform::MessageParams params;
};

class Win32WindowSystemTest : public testing_support::FreshDrawables {
 protected:
  static void SetUpTestSuite() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr);
  }
  static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(gdiplusToken); }

  Win32WindowSystemTest() {
    windows = platform::CreateWindowSystem(nullptr, nullptr);
    platform::SetCurrentWindowSystem(windows.get());
    windows->SetWindowProcedure([this](WindowHandle window, platform::WindowMessage message,
                                       const platform::MessageParams& params) {
      delivered.push_back({window, message, params});
      if (message == platform::WindowMessage::Paint) PaintLayeredWindow(window);
    });
  }
  ~Win32WindowSystemTest() override {
    windows.reset();
    platform::SetCurrentWindowSystem(nullptr);
  }

  // Pumps until the condition holds or the time is up.
  template <typename Condition>
  bool PumpUntil(Condition done, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > timeoutMs) return false;
      if (!windows->PeekAndDispatch()) Sleep(1);
    }
    return true;
  }

  int Count(platform::WindowMessage message, WindowHandle window) const {
    int n = 0;
    for (const Delivered& d : delivered) n += d.message == message && d.window == window;
    return n;
  }

  static ULONG_PTR gdiplusToken;
  std::unique_ptr<platform::WindowSystem> windows;
  std::vector<Delivered> delivered;
};

ULONG_PTR Win32WindowSystemTest::gdiplusToken = 0;

HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// What the screen shows in the rectangle, read through the screen device context.
std::vector<uint32_t> ScreenPixels(const platform::Rect& rect) {
  std::vector<uint32_t> pixels(static_cast<size_t>(rect.width) * rect.height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = rect.width;
  info.bmiHeader.biHeight = -rect.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, rect.width, rect.height, screen, rect.x, rect.y, SRCCOPY);
  GdiFlush();
  std::memcpy(pixels.data(), bits, pixels.size() * sizeof(uint32_t));
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    if (d > worst) worst = d;
  }
  return worst;
}

}  // namespace

TEST_F(Win32WindowSystemTest, WindowProcedureRowsBecomeTheSeamsMessages) {
  EXPECT_STREQ(windows->Name(), "win32");
  WindowHandle main = windows->CreateMainWindow("Tidewake", 300, 200, nullptr, 0);
  ASSERT_NE(main, nullptr);
  WindowHandle form = windows->CreateOverlayWindow(main);
  ASSERT_NE(form, nullptr);
  wchar_t className[64] = {};
  GetClassNameW(Hwnd(main), className, 64);
  EXPECT_EQ(std::wstring(className), L"Tidewake");
  // The class icon is the executable's icon resource 108.
  EXPECT_NE(GetClassLongPtrW(Hwnd(main), GCLP_HICON), 0u);
  EXPECT_NE(GetClassLongPtrW(Hwnd(main), GCLP_HICONSM), 0u);
  GetClassNameW(Hwnd(form), className, 64);
  EXPECT_EQ(std::wstring(className), L"BaseForm");
  EXPECT_TRUE(GetWindowLongPtrW(Hwnd(main), GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_TRUE(GetWindowLongPtrW(Hwnd(form), GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_EQ(GetWindow(Hwnd(form), GW_OWNER), Hwnd(main));
  EXPECT_EQ(windows->WindowRect(form).width, 0);

  // SetWindowPos sends the move before it returns.
  delivered.clear();
  windows->SetWindowPos(main, {40, 30, 300, 200}, false);
  const platform::Rect rect = windows->WindowRect(main);
  EXPECT_EQ(rect.x, 40);
  EXPECT_EQ(rect.y, 30);
  EXPECT_EQ(rect.width, 300);
  EXPECT_EQ(rect.height, 200);
  EXPECT_GE(Count(platform::WindowMessage::Move, main), 1);
  windows->SetWindowPos(form, rect, true);
  EXPECT_EQ(Count(platform::WindowMessage::Move, form), 0);

  // A press with the shift key: key state and both coordinates as the message carried them.
  delivered.clear();
  windows->PostWindowMessage(form, platform::WindowMessage::LButtonDown,
                             {platform::kMkLButton | platform::kMkShift, 280, 190});
  ASSERT_TRUE(PumpUntil([&] { return Count(platform::WindowMessage::LButtonDown, form) == 1; }));
  const Delivered& press = delivered.back();
  EXPECT_EQ(press.params.keyState, platform::kMkLButton | platform::kMkShift);
  EXPECT_EQ(press.params.x, 280);
  EXPECT_EQ(press.params.y, 190);

  // Closing only asks: the window stays.
  windows->PostWindowMessage(main, platform::WindowMessage::Close);
  ASSERT_TRUE(PumpUntil([&] { return Count(platform::WindowMessage::Close, main) == 1; }));
  EXPECT_TRUE(IsWindow(Hwnd(main)));

  // The second copy's registered message wakes the main window only.
  const UINT wake = RegisterWindowMessageA("WAVO__Mutex__EH");
  PostMessageW(Hwnd(form), wake, 0, 0);
  PostMessageW(Hwnd(main), wake, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(platform::WindowMessage::Wake, main) == 1; }));
  EXPECT_EQ(Count(platform::WindowMessage::Wake, form), 0);

  // An invalidated window gets its paint message once nothing else waits.
  windows->Invalidate(form);
  ASSERT_TRUE(PumpUntil([&] { return Count(platform::WindowMessage::Paint, form) >= 1; }));
}

TEST_F(Win32WindowSystemTest, TasksFromOtherThreadsRunOnTheUserInterfaceThreadInOrder) {
  ASSERT_NE(windows->CreateMainWindow("Tidewake", 100, 100, nullptr, 0), nullptr);
  const DWORD uiThread = GetCurrentThreadId();
  std::vector<int> order;
  std::atomic<bool> offThread{false};
  constexpr int kTasks = 200;
  std::thread poster([&] {
    for (int i = 0; i < kTasks; ++i) {
      windows->PostTask([&, i] {
        if (GetCurrentThreadId() != uiThread) offThread = true;
        order.push_back(i);
      });
    }
  });
  poster.join();
  ASSERT_TRUE(PumpUntil([&] { return order.size() == kTasks; }));
  EXPECT_FALSE(offThread);
  for (int i = 0; i < kTasks; ++i) ASSERT_EQ(order[static_cast<size_t>(i)], i);
}

TEST_F(Win32WindowSystemTest, SplashIsComposedThroughLayeredWindowsOntoTheScreen) {
  SplashScreen splash;
  splash.mainWindow = windows->CreateMainWindow("Tidewake", splash.width, splash.height, nullptr, 0);
  ASSERT_NE(splash.mainWindow, nullptr);
  splash.BuildSplash();
  splash.statusForm->label->SetText("TIDEWAKE");
  const platform::Rect screen = windows->ScreenRect();
  ASSERT_GE(screen.width, splash.width);
  ASSERT_GE(screen.height, splash.height);
  const platform::Rect placed{(screen.width - splash.width) / 2, (screen.height - splash.height) / 2,
                              splash.width, splash.height};
  windows->SetWindowPos(splash.mainWindow, placed, false);

  // Frames as the launcher runs them, until every window is composed.
  auto anyDirty = [&] {
    if (HasDirtyDrawable(splash.mainWindow)) return true;
    for (BaseForm* form : splash.forms) {
      if (HasDirtyDrawable(form->window)) return true;
    }
    return false;
  };
  const DWORD start = GetTickCount();
  while (anyDirty() && GetTickCount() - start < 10000) {
    while (windows->PeekAndDispatch()) {
    }
    tick += 17;
    RequestRepaint(splash.mainWindow);
    for (BaseForm* form : splash.forms) form->SyncToOwner();
    Sleep(1);
  }
  ASSERT_FALSE(anyDirty());
  // Let the X server catch up with the last updates.
  for (int i = 0; i < 20; ++i) {
    while (windows->PeekAndDispatch()) {
    }
    Sleep(10);
  }

  // The background alone, as the main window's surface draws it.
  std::unique_ptr<platform::Surface> expectedSurface = windows->CreateSurface(splash.width, splash.height);
  splash.background->Draw(expectedSurface->GetCanvas());
  const platform::PixelBuffer expected = expectedSurface->ReadPixels();
  const platform::PixelBuffer composed = windows->ComposedPixels();
  ASSERT_EQ(composed.width, splash.width);
  ASSERT_EQ(composed.height, splash.height);
  const std::vector<uint32_t> onScreen = ScreenPixels(placed);

  int opaque = 0, composedSame = 0, screenSame = 0, clear = 0, clearOnScreen = 0;
  for (int32_t y = 0; y < 380; y += 5) {
    for (int32_t x = 0; x < splash.width; x += 5) {
      // Leave out the logo and the banner, which lie over the background.
      if ((x >= 140 && x < 315 && y >= 40 && y < 150) || (x >= 170 && x < 450 && y >= 160 && y < 300)) {
        continue;
      }
      const uint32_t want = expected.At(x, y);
      if ((want >> 24) == 255) {
        ++opaque;
        composedSame += composed.At(x, y) == want;
        screenSame += ChannelDistance(onScreen[static_cast<size_t>(y) * splash.width + x], want) <= 8;
      } else if ((want >> 24) == 0) {
        ++clear;
        clearOnScreen += composed.At(x, y) == 0 &&
                         ChannelDistance(onScreen[static_cast<size_t>(y) * splash.width + x], 0) <= 8;
      }
    }
  }
  ASSERT_GT(opaque, 1000);
  EXPECT_EQ(composedSame, opaque);
  EXPECT_GE(screenSame, opaque * 95 / 100) << screenSame << " of " << opaque;
  EXPECT_GE(clearOnScreen, clear * 95 / 100) << clearOnScreen << " of " << clear;

  // The status label on its own form left its text over the art.
  int textPixels = 0;
  for (int32_t y = 385; y < 410; ++y) {
    for (int32_t x = 585; x < 700; ++x) textPixels += composed.At(x, y) != expected.At(x, y);
  }
  EXPECT_GT(textPixels, 50);
  for (BaseForm* form : splash.forms) delete form;
}

namespace {

// Runs xdotool on the X display (a Linux program: Wine starts it like any other). The time-out
// keeps it from outliving the test.
bool StartXdotool(const std::string& arguments) {
  std::string command = "Z:\\usr\\bin\\timeout 10 /usr/bin/xdotool " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &created)) {
    return false;
  }
  // Wine starts a Linux program (xdotool) without Windows handles and may hand back values that
  // were never set: closing them could close an unrelated handle of this process (seen: the
  // registry root the CryptoAPI cases need). Only a handle that names the started process is ours.
  if (created.dwProcessId != 0 && GetProcessId(created.hProcess) == created.dwProcessId) {
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
  }
  return true;
}

// Answers the box by clicking its button with the pointer.
bool ClickButton(HWND box, int buttonId) {
  RECT r{};
  HWND button = GetDlgItem(box, buttonId);
  if (button == nullptr || !GetWindowRect(button, &r)) return false;
  return StartXdotool("mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                      std::to_string((r.top + r.bottom) / 2) + " sleep 0.3 click 1");
}

// Shows a system-modal Retry/Cancel box on a worker, as the launcher's phases do.
std::shared_ptr<std::atomic<int>> ShowBoxOnAWorker(const std::string& caption) {
  // Shared with the worker, which outlives the case if its box never shows.
  auto answer = std::make_shared<std::atomic<int>>(0);
  std::thread([answer, caption] {
    *answer = platform::ShowMessageBox("文件校验不一致，点击重新下载", caption,
                                       platform::kMbRetryCancel | platform::kMbSystemModal);
  }).detach();
  return answer;
}

}  // namespace

TEST_F(Win32WindowSystemTest, SystemModalRetryCancelBoxFromAWorkerIsAnsweredWhileTheLoopRuns) {
  char display[256] = {};
  ASSERT_GT(GetEnvironmentVariableA("DISPLAY", display, sizeof display), 0u)
      << "the Windows suites run on an X display";
  ASSERT_NE(windows->CreateMainWindow("Tidewake", 200, 100, nullptr, 0), nullptr);

  struct Case {
    const char* caption;
    int button;
  };
  for (const Case& c : {Case{"TidewakeBoxRetry", IDRETRY}, Case{"TidewakeBoxCancel", IDCANCEL}}) {
    // Shared with the worker, which outlives the case if its box never shows.
    auto answer = std::make_shared<std::atomic<int>>(0);
    std::thread([answer, caption = std::string(c.caption)] {
      *answer = platform::ShowMessageBox("下载失败，是否重试？", caption,
                                         platform::kMbRetryCancel | platform::kMbIconError |
                                             platform::kMbSystemModal);
    }).detach();
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = FindWindowA(nullptr, c.caption)) != nullptr; }, 10000));
    // The box is raised to the topmost band once it shows.
    EXPECT_TRUE(PumpUntil([&] { return (GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }))
        << "system-modal boxes stay on top";
    // The frame loop keeps running while the worker waits for its answer.
    std::atomic<bool> taskRan{false};
    windows->PostTask([&] { taskRan = true; });
    EXPECT_TRUE(PumpUntil([&] { return taskRan.load(); }));
    // The box is laid out and placed after it was created: click once it has stayed put.
    RECT placed{}, now{};
    DWORD stableSince = GetTickCount();
    EXPECT_TRUE(PumpUntil([&] {
      GetWindowRect(box, &now);
      if (!IsWindowVisible(box) || !EqualRect(&now, &placed)) {
        placed = now;
        stableSince = GetTickCount();
      }
      return GetTickCount() - stableSince >= 500;
    }));
    // Starting a Linux program from Wine takes a few seconds.
    EXPECT_TRUE(ClickButton(box, c.button));
    const bool answered = PumpUntil([&] { return answer->load() != 0; }, 15000);
    if (!answered) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(answered);
    EXPECT_EQ(answer->load(), c.button) << c.caption;
  }
}

TEST_F(Win32WindowSystemTest, BoxFromAWorkerIsAnsweredWithTheKeyboardWhileFramesRun) {
  char display[256] = {};
  ASSERT_GT(GetEnvironmentVariableA("DISPLAY", display, sizeof display), 0u)
      << "the Windows suites run on an X display";
  SplashScreen splash;
  splash.mainWindow = windows->CreateMainWindow("Tidewake", splash.width, splash.height, nullptr, 0);
  ASSERT_NE(splash.mainWindow, nullptr);
  splash.BuildSplash();
  windows->SetWindowPos(splash.mainWindow, {40, 40, splash.width, splash.height}, false);
  // The frame loop's work between events: each form follows its owner.
  DWORD lastFrame = 0;
  auto frames = [&](auto done) {
    return PumpUntil([&] {
      if (GetTickCount() - lastFrame >= 16) {
        lastFrame = GetTickCount();
        RequestRepaint(splash.mainWindow);
        for (BaseForm* form : splash.forms) form->SyncToOwner();
      }
      return done();
    }, 15000);
  };

  struct Case {
    const char* caption;
    const char* key;  // sent to whatever has the keyboard: no focusing, no click
    int answer;
  };
  for (const Case& c : {Case{"TidewakeKeyEscape", "Escape", IDCANCEL},
                        Case{"TidewakeKeyReturn", "Return", IDRETRY}}) {
    const auto answer = ShowBoxOnAWorker(c.caption);
    HWND box = nullptr;
    ASSERT_TRUE(frames([&] { return (box = FindWindowA(nullptr, c.caption)) != nullptr; }));
    // Some frames after the box came up, so that each form has been synced again.
    RECT placed{}, now{};
    DWORD stableSince = GetTickCount();
    EXPECT_TRUE(frames([&] {
      GetWindowRect(box, &now);
      if (!IsWindowVisible(box) || !EqualRect(&now, &placed)) {
        placed = now;
        stableSince = GetTickCount();
      }
      return GetTickCount() - stableSince >= 500;
    }));
    ASSERT_TRUE(StartXdotool(std::string("key ") + c.key));
    const bool answered = frames([&] { return answer->load() != 0; });
    EXPECT_TRUE(answered) << c.key << " did not reach the box";
    if (!answered) {
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
      frames([&] { return answer->load() != 0; });
      continue;
    }
    EXPECT_EQ(answer->load(), c.answer) << c.key;
  }
  for (BaseForm* form : splash.forms) delete form;
}

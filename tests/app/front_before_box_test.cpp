// A box raised by a worker opens only after the splash has been brought to the front: a request
// still waiting on the user-interface thread when the box shows can take the activation from it,
// and then Enter and Esc no longer answer it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>

#include "app/frame_loop.h"
#include "app/launcher_app.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "tests/support/temp_dir.h"
#include "update/timeout_prompt.h"

namespace {

using platform::Rect;
using platform::WindowHandle;

// The headless backend, counting the front requests it carried out and telling when a task was
// posted to it.
class FrontRecordingWindows : public platform::WindowSystem {
 public:
  const char* Name() const override { return "recording"; }
  void SetWindowProcedure(platform::WindowProcedure procedure) override {
    inner_->SetWindowProcedure(std::move(procedure));
  }
  WindowHandle CreateMainWindow(const std::string& title, int32_t width, int32_t height,
                                const unsigned char* iconPng, size_t iconPngSize) override {
    return inner_->CreateMainWindow(title, width, height, iconPng, iconPngSize);
  }
  WindowHandle CreateOverlayWindow(WindowHandle owner) override {
    return inner_->CreateOverlayWindow(owner);
  }
  Rect WindowRect(WindowHandle window) const override { return inner_->WindowRect(window); }
  Rect ScreenRect() const override { return inner_->ScreenRect(); }
  void SetWindowPos(WindowHandle window, const Rect& rect, bool toTop) override {
    inner_->SetWindowPos(window, rect, toTop);
  }
  void Invalidate(WindowHandle window) override { inner_->Invalidate(window); }
  std::unique_ptr<platform::Surface> CreateSurface(int32_t width, int32_t height) override {
    return inner_->CreateSurface(width, height);
  }
  void Present(WindowHandle window, std::unique_ptr<platform::Surface> surface) override {
    inner_->Present(window, std::move(surface));
  }
  void BeginDrag(WindowHandle window) override { inner_->BeginDrag(window); }
  void BringToFront(WindowHandle /*window*/) override { ++fronts; }
  void PostWindowMessage(WindowHandle window, platform::WindowMessage message,
                         const platform::MessageParams& params) override {
    inner_->PostWindowMessage(window, message, params);
  }
  void PostTask(std::function<void()> task) override {
    inner_->PostTask(std::move(task));
    Notify();
  }
  bool PeekAndDispatch() override { return inner_->PeekAndDispatch(); }
  platform::PixelBuffer ComposedPixels() override { return inner_->ComposedPixels(); }
  bool WriteComposedPng(const std::string& path) override { return inner_->WriteComposedPng(path); }

  void Notify() {
    std::lock_guard lock(mutex_);
    ++events_;
    changed_.notify_all();
  }
  int Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Waits until a task was posted or Notify called since Events() gave seen, at most the time.
  void WaitForEventSince(int seen, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return events_ != seen; });
  }

  std::atomic<int> fronts{0};

 private:
  std::unique_ptr<platform::WindowSystem> inner_ = platform::CreateHeadlessWindowSystem();
  std::mutex mutex_;
  std::condition_variable changed_;
  int events_ = 0;
};

// Runs a launcher in a child process, starts the box on a worker while the user-interface
// thread has not yet run a frame, then runs the frame loop. The child reports at the box's
// entry whether the window had been brought to the front: 'F' when it had, 'B' when not; 0 when
// no box came within 10 s.
char FrontAtBoxEntry(void (*showBox)(LauncherApp&)) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return 0;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    alarm(10);
    testing_support::TempDir scratch;
    if (::chdir(scratch.path().c_str()) != 0) ::_exit(3);
    auto* windows = new FrontRecordingWindows;
    platform::SetCurrentWindowSystem(windows);
    auto* app = new LauncherApp(nullptr, *windows);
    const int reportFd = pipeFds[1];
    platform::SetMessageBoxHandler([windows, reportFd](const std::string&, const std::string&,
                                                       unsigned) {
      const char verdict = windows->fronts.load() > 0 ? 'F' : 'B';
      (void)!::write(reportFd, &verdict, 1);
      windows->Notify();
      for (;;) ::pause();  // the parent ends the child
      return platform::kIdOk;
    });
    const int seen = windows->Events();
    std::thread([app, showBox] { showBox(*app); }).detach();
    // Whatever the worker does first, a posted task or the box, happens before the first frame.
    windows->WaitForEventSince(seen, std::chrono::seconds(5));
    RunFrameLoop(*app, *windows);
    ::_exit(4);
  }
  ::close(pipeFds[1]);
  char verdict = 0;
  if (::read(pipeFds[0], &verdict, 1) != 1) verdict = 0;
  ::close(pipeFds[0]);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return verdict;
}

struct BoxCase {
  const char* name;
  void (*show)(LauncherApp&);
};
void PrintTo(const BoxCase& c, std::ostream* out) { *out << c.name; }

class FrontBeforeBox : public testing::TestWithParam<BoxCase> {};

}  // namespace

TEST_P(FrontBeforeBox, WindowIsInFrontWhenTheBoxOpens) {
  EXPECT_EQ(FrontAtBoxEntry(GetParam().show), 'F');
}

INSTANTIATE_TEST_SUITE_P(
    WorkerBoxes, FrontBeforeBox,
    testing::Values(
        BoxCase{"RetryDialog", [](LauncherApp& app) { app.ShowRetryDialog("下载失败\n点击重试", ""); }},
        BoxCase{"RecordWriteError", [](LauncherApp& app) { app.ShowRecordWriteError(); }},
        BoxCase{"TimeoutPrompt", [](LauncherApp&) { ShowTimeoutPrompt(); }}),
    [](const testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

// The close button as a user meets it: hidden at first, shown by the time-out prompt, and a click
// on it ends the process about a second later, however often it is clicked.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "app/frame_loop.h"
#include "app/launcher_app.h"
#include "platform/window_system.h"
#include "tests/support/temp_dir.h"
#include "ui/click_dispatch.h"

namespace {

using Clock = std::chrono::steady_clock;

int reportFd = -1;
Clock::time_point clickedAt;

void ReportElapsed() {
  const double seconds = std::chrono::duration<double>(Clock::now() - clickedAt).count();
  (void)!::write(reportFd, &seconds, sizeof seconds);
}

// Runs a launcher in a child process: clicks the close button's centre (after showing it when
// asked) twice, then runs the frame loop. Returns the seconds from the first click to the exit,
// or a negative value when the child did not end by itself within 3 s.
double SecondsFromClickToExit(bool showButton, int* exitCode) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    reportFd = pipeFds[1];
    std::at_quick_exit(ReportElapsed);
    testing_support::TempDir scratch;
    if (::chdir(scratch.path().c_str()) != 0) ::_exit(3);
    // The check never reaches a server here; it only has to keep the splash busy.
    auto windows = platform::CreateHeadlessWindowSystem();
    platform::SetCurrentWindowSystem(windows.get());
    auto* app = new LauncherApp(nullptr, *windows);
    if (showButton) app->ShowCloseButton();
    app->DrainUiQueue();
    clickedAt = Clock::now();
    for (int i = 0; i < 2; ++i) {
      HandleLeftButtonDown(app->mainWindow, platform::kMkLButton, 1027 + 24, 44 + 24);
    }
    alarm(3);  // a button that does nothing leaves the loop running: end the child then
    RunFrameLoop(*app, *windows);
    ::_exit(4);
  }
  ::close(pipeFds[1]);
  double seconds = -1;
  const bool reported = ::read(pipeFds[0], &seconds, sizeof seconds) == sizeof seconds;
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return reported ? seconds : -1;
}

}  // namespace

TEST(CloseButton, ShownButtonEndsTheProcessAboutOneSecondAfterTheFirstClick) {
  int exitCode = -1;
  const double seconds = SecondsFromClickToExit(true, &exitCode);
  EXPECT_EQ(exitCode, 0);
  EXPECT_GE(seconds, 1.0);
  EXPECT_LT(seconds, 1.5);
}

TEST(CloseButton, HiddenButtonIgnoresTheClick) {
  int exitCode = -1;
  EXPECT_LT(SecondsFromClickToExit(false, &exitCode), 0);
  EXPECT_EQ(exitCode, -1);  // ended by the alarm, not by an exit
}

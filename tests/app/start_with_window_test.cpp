// The Linux launcher on an X display (Xvfb, its GTK window) whose window system is slow to come
// up: the config document's fetch delay runs meanwhile, so the player does not wait for both,
// yet the check asks nothing and shows nothing before the splash is on screen.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/launcher_process.h"
#include "tests/support/launcher_road_fixture.h"
#include "tests/support/published_game.h"
#include "tests/support/xvfb_display.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

// Far beyond the 500 ms delay: a check that ran its delay only after the window would ask
// for the config a whole delay after the splash appeared.
constexpr char kSlowGtkInitMs[] = "1500";
constexpr auto kFetchDelay = 500ms;

struct MappedWindow {
  Clock::time_point at;
  std::string title;
};

// The map witness's lines in the launcher's standard error, in the order GTK mapped them.
std::vector<MappedWindow> MappedWindows(const std::string& err) {
  std::vector<MappedWindow> windows;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string tag;
    int64_t nanoseconds = 0;
    if (!(fields >> tag >> nanoseconds) || tag != "[mapped]") continue;
    std::string title;
    std::getline(fields >> std::ws, title);
    windows.push_back({Clock::time_point(std::chrono::nanoseconds(nanoseconds)), title});
  }
  return windows;
}

int64_t Ms(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

struct StartCase {
  const char* name;
  bool installed;          // the current version is installed before the start
  const char* config;      // the config document served
  const char* boxCaption;  // the box the start ends in (GBK), or null when the game starts
};

void PrintTo(const StartCase& start, std::ostream* out) { *out << start.name; }

class StartWithWindowTest : public LauncherRoadFixture,
                            public testing::WithParamInterface<StartCase> {
 protected:
  static void SetUpTestSuite() {
    if (XvfbDisplay::Installed()) display_ = new XvfbDisplay(1280, 800);
  }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    if (!XvfbDisplay::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(display_ != nullptr && display_->started()) << "Xvfb did not start";
  }

  LaunchOptions OnSlowDisplay() const {
    LaunchOptions options = Options();
    options.display = display_->display();
    options.environment = {{"GTK_MODULES", TIDEWAKE_GTK_MAP_WITNESS},
                           {"TIDEWAKE_TEST_SLOW_GTK_INIT_MS", kSlowGtkInitMs}};
    return options;
  }

  // A document, each request's arrival noted on the test's steady clock.
  void ServeNotingArrivals(const std::string& relative, const std::string& body) {
    server_.Handle(ServerPath(relative),
                   [this, relative, body](const httplib::Request&, httplib::Response& response) {
                     {
                       std::lock_guard lock(mutex_);
                       arrivals_[relative].push_back(Clock::now());
                     }
                     response.set_content(body, "application/json");
                   });
  }

  std::vector<Clock::time_point> Arrivals(const std::string& relative) {
    std::lock_guard lock(mutex_);
    return arrivals_[relative];
  }

  static XvfbDisplay* display_;
  std::mutex mutex_;
  std::map<std::string, std::vector<Clock::time_point>> arrivals_;
};

XvfbDisplay* StartWithWindowTest::display_ = nullptr;

TEST_P(StartWithWindowTest, FetchDelayRunsWhileTheWindowComesUpAndNothingPrecedesTheSplash) {
  const StartCase& start = GetParam();
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  if (start.installed) {
    const LauncherOutcome install = Run({});
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    ASSERT_FALSE(GameReceived().empty());
    std::filesystem::remove("Kelpstone/game_received.txt");
  }
  const std::string configPath = "Marlwood77301/config.json";
  const std::string fileInfoPath = "Marlwood77301/fileInfo_1_0_0.json";
  ServeNotingArrivals(configPath, start.config != nullptr
                                      ? start.config
                                      : R"({"lastVersion":"1.0.0","unsupportedVersions":[]})");
  ServeNotingArrivals(fileInfoPath, package.fileInfo);

  LauncherProcess launcher(dir(), {"shown"}, OnSlowDisplay());
  if (start.boxCaption == nullptr) {
    ASSERT_TRUE(Eventually([] { return std::filesystem::exists("Kelpstone/game_received.txt"); },
                           30s))
        << launcher.Out() << launcher.Err();
    EXPECT_EQ(GameReceived(), Received({"shown"}));
    const LauncherOutcome outcome = launcher.Wait(10s);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  } else {
    const std::string caption = Shown(start.boxCaption);
    ASSERT_TRUE(Eventually(
        [&] {
          for (const MappedWindow& window : MappedWindows(launcher.Err())) {
            if (window.title == caption) return true;
          }
          return false;
        },
        30s))
        << launcher.Out() << launcher.Err();
    launcher.Kill();
  }

  const std::vector<MappedWindow> windows = MappedWindows(launcher.Err());
  const std::vector<Clock::time_point> arrivals = Arrivals(configPath);
  ASSERT_FALSE(windows.empty()) << launcher.Err();
  ASSERT_FALSE(arrivals.empty());
  EXPECT_EQ(windows.front().title, "Tidewake") << launcher.Err();
  std::cout << "config asked " << Ms(arrivals.front() - windows.front().at)
            << " ms after the splash was mapped\n";
  // The splash is on screen before the check asks for anything...
  EXPECT_GT(arrivals.front(), windows.front().at)
      << "config asked " << Ms(windows.front().at - arrivals.front()) << " ms before the splash";
  // ...and the delay was spent while GTK started, not begun again once the window was up.
  EXPECT_LT(arrivals.front() - windows.front().at, kFetchDelay)
      << "config asked " << Ms(arrivals.front() - windows.front().at) << " ms after the splash";
  // Every box comes after the splash and after the answer it is about.
  for (size_t i = 1; i < windows.size(); ++i) {
    EXPECT_GT(windows[i].at, arrivals.front()) << windows[i].title;
  }
  // Only the launch's first document starts early: the next one still waits its whole delay.
  if (const std::vector<Clock::time_point> next = Arrivals(fileInfoPath); !next.empty()) {
    EXPECT_GE(next.front() - arrivals.front(), kFetchDelay)
        << "fileInfo asked " << Ms(next.front() - arrivals.front()) << " ms after the config";
  }
  if (start.boxCaption == nullptr) {
    EXPECT_EQ(windows.size(), 1u) << launcher.Err();
  } else {
    EXPECT_EQ(windows.back().title, Shown(start.boxCaption)) << launcher.Err();
  }
}

const StartCase kStarts[] = {
    {"NoUpdateStartLaunchesTheGame", true, nullptr, nullptr},
    {"FreshInstallLaunchesTheGame", false, nullptr, nullptr},
    {"UnreadableConfigEndsInTheErrorBox", false, "not a document", "发生错误"},
};

INSTANTIATE_TEST_SUITE_P(Linux, StartWithWindowTest, testing::ValuesIn(kStarts),
                         [](const testing::TestParamInfo<StartCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

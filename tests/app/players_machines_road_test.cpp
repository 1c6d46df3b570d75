// The road on players' machines as they are: a double click that starts two copies at once, a
// package whose file names the system's code page lacks, a proxy set in the system's settings, a
// game installed so deep in folders that its paths pass MAX_PATH.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/strings.h"
#include "platform/files.h"
#include "tests/support/connect_proxy.h"
#include "tests/support/launcher_road_fixture.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

// Test sources are compiled to GBK like the launcher's: UTF-8 names are spelt as u8 literals.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class PlayersMachinesTest : public LauncherRoadFixture, public testing::WithParamInterface<Platform> {
 protected:
  void SetUp() override { StartOn(GetParam()); }
};

// The user's proxy setting as Windows keeps it and WinHTTP reads it: the connection blob of
// Internet Settings (version, change counter, flags 3 = direct + fixed proxy, then the proxy, the
// bypass list and the script URL, each a length and its bytes). Removed again at the end.
class SystemProxySetting {
 public:
  SystemProxySetting(const WineSetup& wine, const std::string& proxy, const std::string& bypass)
      : wine_(wine) {
    std::string hex;
    const auto word = [&hex](uint32_t value) {
      char byte[3];
      for (int i = 0; i < 4; ++i) {
        std::snprintf(byte, sizeof byte, "%02x", (value >> (8 * i)) & 0xFF);
        hex += byte;
      }
    };
    const auto text = [&](const std::string& value) {
      word(static_cast<uint32_t>(value.size()));
      char byte[3];
      for (unsigned char c : value) {
        std::snprintf(byte, sizeof byte, "%02x", c);
        hex += byte;
      }
    };
    word(0x46);
    word(1);
    word(3);
    text(proxy);
    text(bypass);
    text("");
    hex += std::string(64, '0');
    set_ = RunUnderWine(wine_, "reg",
                        {"add", kKey, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d",
                         hex, "/f"},
                        60s) == 0;
  }
  ~SystemProxySetting() {
    RunUnderWine(wine_, "reg", {"delete", kKey, "/v", "DefaultConnectionSettings", "/f"}, 60s);
  }
  SystemProxySetting(const SystemProxySetting&) = delete;
  SystemProxySetting& operator=(const SystemProxySetting&) = delete;

  bool set() const { return set_; }

 private:
  static constexpr const char* kKey =
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  const WineSetup& wine_;
  bool set_ = false;
};

}  // namespace

TEST_P(PlayersMachinesTest, TwoStartsTenMillisecondsApartDownloadOnceAndStartOneGame) {
  const GamePackage package = Package("1.0.0", 2 << 20);
  Publish(server_, package);

  LauncherProcess first(dir(), {"first"}, Options());
  // The gap of a double click: this pause sets the start times, it proves nothing itself.
  std::this_thread::sleep_for(10ms);
  LauncherProcess second(dir(), {"second"}, Options());
  const LauncherOutcome firstOutcome = first.Wait(90s);
  const LauncherOutcome secondOutcome = second.Wait(30s);

  EXPECT_EQ(firstOutcome.exitCode, 0) << firstOutcome.err;
  EXPECT_EQ(secondOutcome.exitCode, 0) << secondOutcome.err;
  // One copy went on: one config request, one download, one game with that copy's arguments.
  EXPECT_EQ(server_.RequestCount(ServerPath("Marlwood77301/config.json")), 1);
  EXPECT_EQ(PackageRequests(package), 1);
  const std::string received = GameReceived();
  EXPECT_TRUE(received == Received({"first"}) || received == Received({"second"})) << received;
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.0\n");
}

TEST_P(PlayersMachinesTest, FileNamesOutsideTheCodePageInstallAndAreFoundOnTheNextStart) {
  if (OnWindows()) {
    // A Western Windows: ANSI code page 1252, which has none of these characters.
    const std::string prefix = std::string(TIDEWAKE_SOURCE_DIR) + "/build/wine-prefix-en_US";
    if (!platform::DirectoryExists(prefix)) GTEST_SKIP() << "no en_US Wine prefix at " << prefix;
    SetWineVariable("WINEPREFIX", prefix);
    SetWineVariable("LANG", "en_US.UTF-8");
    SetWineVariable("LC_ALL", "en_US.UTF-8");
  }
  const std::string chinese = Utf8(u8"data/中文.txt");
  const std::string inFolder = Utf8(u8"资料/说明.txt");
  const GamePackage package =
      Package("1.0.0", 64 * 1024, 1 << 20, {{chinese, "zh\n"}, {inFolder, "folder\n"}});
  Publish(server_, package);

  // Cancel at a failure box, so a launcher that cannot write the names ends at once.
  const LauncherOutcome outcome = Run({"one"}, "cancel");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err.find("caption="), std::string::npos) << outcome.err;
  EXPECT_EQ(GameReceived(), Received({"one"}));
  EXPECT_EQ(ReadFile("Kelpstone/" + chinese), "zh\n");
  EXPECT_EQ(ReadFile("Kelpstone/" + inFolder), "folder\n");
  EXPECT_FALSE(platform::PathExists("Marlwood77301"));

  // The next start finds every listed file where the install put it: nothing is fetched again.
  std::filesystem::remove("Kelpstone/game_received.txt");
  server_.ClearRequests();
  const LauncherOutcome again = Run({"two"}, "cancel");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"two"}));
  EXPECT_EQ(PackageRequests(package), 0);
}

TEST_P(PlayersMachinesTest, ProxyInTheSystemSettingsCarriesTheWholeRoad) {
  if (!OnWindows()) GTEST_SKIP() << "no system proxy setting on Linux: libcurl reads the environment";
  ConnectProxy proxy;
  // The bypass list names other hosts only: "<local>" would send localhost past the proxy.
  const SystemProxySetting setting(*wine_, "https=" + proxy.Address(), "*.example.invalid");
  ASSERT_TRUE(setting.set());
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);

  const LauncherOutcome outcome = Run({"via", "proxy"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.out;
  EXPECT_EQ(GameReceived(), Received({"via", "proxy"}));
  EXPECT_EQ(PackageRequests(package), 1);
  // The config, the fileInfo and the package, each through a tunnel to the server.
  EXPECT_TRUE(proxy.WaitForTunnels(3, 5s));
  for (const std::string& tunnel : proxy.Tunnels()) {
    EXPECT_EQ(tunnel, "localhost:" + std::to_string(LauncherTestPort()));
  }
}

TEST_P(PlayersMachinesTest, GameDeepInFoldersInstallsAndStartsPastMaxPath) {
  if (!OnWindows()) GTEST_SKIP() << "Linux's paths reach PATH_MAX (4096), far past these";
  // The working directory as Windows names it: 231 characters, so the game's own folder and
  // program stay below MAX_PATH (an ordinary game must be able to start there), while the package
  // ("...\Marlwood77301\game_1_0_0.zip", 260), the cached fileInfo (261) and the game's data
  // (past 300) do not.
  std::string deep = dir();
  for (int level = 0; deep.size() + 2 < 231; ++level) {
    deep += "/folder" + std::to_string(level) + "_" + std::string(40, 'd');
  }
  deep.resize(229);
  if (deep.back() == '/') deep.back() = 'd';
  ASSERT_TRUE(std::filesystem::create_directories(deep));
  const std::string data =
      "data/" + std::string(40, 'a') + "/" + std::string(40, 'b') + "/deep.txt";
  const GamePackage package = Package("1.0.0", 64 * 1024, 1 << 20, {{data, "deep\n"}});
  Publish(server_, package);

  LauncherProcess launcher(deep, {"deep"}, Options("cancel"));
  const LauncherOutcome outcome = launcher.Wait(60s);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err.find("caption="), std::string::npos) << outcome.err;
  const std::string game = deep + "/Kelpstone";
  EXPECT_GT(game.size() + 2 + 1 + data.size(), 300u);
  EXPECT_EQ(ReadFile(game + "/" + data), "deep\n");
  EXPECT_FALSE(platform::PathExists(deep + "/Marlwood77301"));
  EXPECT_NE(ReadFile(game + "/fileInfo_1_0_0.json").find(package.md5), std::string::npos);
  ASSERT_TRUE(Eventually([&] { return !ReadFile(game + "/game_received.txt").empty(); }, 5s));
  std::string received = ReadFile(game + "/game_received.txt");
  std::erase(received, '\r');
  EXPECT_EQ(received, "cwd=Z:" + ReplaceAll(game, "/", "\\") + "\nargc=1\narg1=deep\n");
}

INSTANTIATE_TEST_SUITE_P(Linux, PlayersMachinesTest, testing::Values(Platform::Linux),
                         PlatformParamName);
INSTANTIATE_TEST_SUITE_P(Windows, PlayersMachinesTest, testing::Values(Platform::Windows),
                         PlatformParamName);

#pragma once
// The road suite's fixture: a loopback HTTPS server, a fresh working directory, and the launcher
// run as a real process on the platform of the case (the Linux launcher headless; the Windows
// launcher under Wine when scripts/test-windows.sh names it).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/strings.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/https_test_server.h"
#include "tests/support/launcher_process.h"
#include "tests/support/published_game.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine_session.h"

namespace testing_support {

using namespace std::chrono_literals;

// Headless boxes print their texts for people: in UTF-8, while our literals are GBK bytes.
inline std::string Shown(const std::string& gbk) { return platform::GbkToUtf8(gbk); }

enum class Platform { Linux, Windows };

inline std::string PlatformName(Platform platform) {
  return platform == Platform::Linux ? "Linux" : "Windows";
}

class LauncherRoadFixture : public InTempDir {
 protected:
  LauncherRoadFixture() : server_(LauncherTestPort()) {}

  void StartOn(Platform platform) {
    platform_ = platform;
    if (platform == Platform::Windows) {
      wine_ = WineSetupFromEnvironment();
      if (!wine_) GTEST_SKIP() << "no Windows launcher: TIDEWAKE_WINDOWS_LAUNCHER is not set";
    }
  }
  bool OnWindows() const { return platform_ == Platform::Windows; }

  // For the Windows runs of a case: another prefix (WINEPREFIX) or locale (LANG, LC_ALL,
  // LOCPATH), or a variable of its own, for every Wine program the case starts afterwards.
  void SetWineVariable(const std::string& name, const std::string& value) {
    if (wine_) wine_->environment.emplace_back(name, value);
  }

  LaunchOptions Options(const std::string& answers = "") const {
    return {answers, wine_, executable_, "", {}};
  }

  LauncherOutcome Run(const std::vector<std::string>& arguments, const std::string& answers = "",
                      std::chrono::milliseconds deadline = 60s) {
    LauncherProcess launcher(dir(), arguments, Options(answers));
    return launcher.Wait(deadline);
  }

  // The case runs the launcher built to trust the test signing key (beside the Windows one in
  // its build tree); false when this platform's build has none.
  bool UseSignedLauncher() {
    executable_ = wine_ ? std::filesystem::path(wine_->launcher).parent_path().string() +
                              "/tidewake-signed.exe"
                        : std::string(TIDEWAKE_SIGNED_LAUNCHER);
    return std::filesystem::exists(executable_);
  }

  // The sample game built for the platform, in a package.
  GamePackage Package(const std::string& version, size_t extraBytes = 64 * 1024,
                      size_t entryBytes = 1 << 20,
                      const std::vector<std::pair<std::string, std::string>>& moreFiles = {}) const {
    return MakeGamePackage(version, extraBytes, entryBytes,
                           wine_ ? wine_->sampleGame : std::string(TIDEWAKE_SAMPLE_GAME), moreFiles);
  }

  // What the game wrote (a Windows program writes text-mode line ends).
  std::string GameReceived() {
    const std::string path = "Kelpstone/game_received.txt";
    Eventually([&] { return !ReadFile(path).empty(); }, 5s);
    std::string text = ReadFile(path);
    std::erase(text, '\r');
    return text;
  }

  std::string Received(const std::vector<std::string>& args) {
    // Wine shows the Linux root as drive Z:.
    std::string cwd = dir() + "/Kelpstone";
    if (OnWindows()) cwd = "Z:" + ReplaceAll(cwd, "/", "\\");
    std::string text = "cwd=" + cwd + "\nargc=" + std::to_string(args.size()) + "\n";
    for (size_t i = 0; i < args.size(); ++i) text += "arg" + std::to_string(i + 1) + "=" + args[i] + "\n";
    return text;
  }

  int PackageRequests(const GamePackage& package) {
    return server_.RequestCount(ServerPath(package.zipName));
  }

  // The launcher writes an installed file: the extraction runs.
  bool Extracting(const LauncherProcess& launcher) {
    for (const LauncherProcess::OpenFile& file : launcher.OpenFiles()) {
      if (file.writable && file.path.find("/Kelpstone/data/") != std::string::npos) return true;
    }
    return false;
  }

  // The launcher reads the package and writes nothing of the game: the digest check runs.
  bool CheckingDigest(const LauncherProcess& launcher, const GamePackage& package) {
    bool reading = false;
    for (const LauncherProcess::OpenFile& file : launcher.OpenFiles()) {
      if (file.path.find("/Kelpstone/") != std::string::npos && file.writable) return false;
      if (file.path == dir() + "/" + package.zipName && !file.writable) reading = true;
    }
    return reading;
  }

  // The whole package is on disk and the launcher holds it no longer: the download has ended
  // and the 900 ms pause before the digest check runs.
  bool Settling(const LauncherProcess& launcher, const GamePackage& package) {
    if (platform::FileSize(package.zipName) != package.bytes.size()) return false;
    for (const LauncherProcess::OpenFile& file : launcher.OpenFiles()) {
      if (file.path == dir() + "/" + package.zipName) return false;
    }
    return true;
  }

  HttpsTestServer server_;
  Platform platform_ = Platform::Linux;
  std::optional<WineSetup> wine_;
  std::string executable_;  // empty: the suite's own launcher
};

class LauncherRoadTest : public LauncherRoadFixture, public testing::WithParamInterface<Platform> {
 protected:
  void SetUp() override { StartOn(GetParam()); }
};

inline std::string PlatformParamName(const testing::TestParamInfo<Platform>& info) {
  return PlatformName(info.param);
}

}  // namespace testing_support

// Signed releases on the road: the launcher built to trust the test signing key installs what
// the publisher signed and refuses, before a byte of the package, whatever was tampered with,
// signed by another key, left unsigned or replayed from an older release. Each case runs the
// Linux launcher and, where the Windows build has its signed twin, the Windows one under Wine.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

#include "core/strings.h"
#include "platform/files.h"
#include "tests/support/document_signing.h"
#include "tests/support/https_test_server.h"
#include "tests/support/launcher_road_fixture.h"
#include "tests/support/published_game.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

constexpr int64_t kSignedAt = 1765300000;

std::string ConfigOf(const GamePackage& package) {
  return R"({"lastVersion":")" + package.version + R"(","unsupportedVersions":[]})";
}

std::string FileInfoPath(const GamePackage& package) {
  return "Marlwood77301/fileInfo_" + ReplaceAll(package.version, ".", "_") + ".json";
}

class SignedReleaseRoadTest : public LauncherRoadFixture,
                              public testing::WithParamInterface<Platform> {
 protected:
  void SetUp() override {
    StartOn(GetParam());
    if (IsSkipped()) return;
    if (!UseSignedLauncher()) GTEST_SKIP() << "this platform's build has no signed launcher";
  }

  // Nothing of the package was asked for, nothing installed, no game started.
  void ExpectNothingDownloadedOrLaunched(const GamePackage& package) {
    EXPECT_EQ(PackageRequests(package), 0);
    EXPECT_FALSE(platform::PathExists(package.zipName));
    EXPECT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
  }
};

}  // namespace

// The fileInfo states the package's SHA-256 too, as the publisher's tool writes it.
TEST_P(SignedReleaseRoadTest, SignedReleaseInstallsAndItsCacheVerifiesOnTheNextStart) {
  GamePackage package = Package("1.0.0");
  package.fileInfo = WithSha256(package);
  PublishSigned(server_, package, LauncherSigningKey(), kSignedAt);

  const LauncherOutcome outcome = Run({"signed"});
  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(GameReceived(), Received({"signed"}));
  EXPECT_EQ(PackageRequests(package), 1);
  EXPECT_TRUE(platform::PathExists("Kelpstone/fileInfo_1_0_0.json.minisig"));
  EXPECT_NE(ReadFile("Kelpstone/downloadRecord").find("configTimestamp=" + std::to_string(kSignedAt)),
            std::string::npos);

  // The next start takes the cache, verified again: no fileInfo fetched.
  std::filesystem::remove("Kelpstone/game_received.txt");
  server_.ClearRequests();
  const LauncherOutcome again = Run({"again"});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(GameReceived(), Received({"again"}));
  EXPECT_EQ(server_.RequestCount(ServerPath(FileInfoPath(package))), 0);
}

struct Refusal {
  const char* name;
  // Changes what the server holds after the signed release is published.
  std::function<void(HttpsTestServer&, const GamePackage&)> apply;
};

class SignedReleaseRefusalTest : public LauncherRoadFixture,
                                 public testing::WithParamInterface<std::tuple<Platform, Refusal>> {
 protected:
  void SetUp() override {
    StartOn(std::get<0>(GetParam()));
    if (IsSkipped()) return;
    if (!UseSignedLauncher()) GTEST_SKIP() << "this platform's build has no signed launcher";
  }
};

TEST_P(SignedReleaseRefusalTest, EndsInTheErrorBoxWithNothingDownloadedOrLaunched) {
  const GamePackage package = Package("1.0.0");
  PublishSigned(server_, package, LauncherSigningKey(), kSignedAt);
  std::get<1>(GetParam()).apply(server_, package);

  const LauncherOutcome outcome = Run({}, "cancel");
  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find(Shown("caption=\"发生错误\" text=\"校验文件时错误\\n")), std::string::npos)
      << outcome.err;
  EXPECT_EQ(PackageRequests(package), 0);
  EXPECT_FALSE(platform::PathExists("Kelpstone/data/readme.txt"));
  EXPECT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
}

namespace {

const Refusal kRefusals[] = {
    {"TamperedConfig",
     [](HttpsTestServer& server, const GamePackage& package) {
       server.Serve(ServerPath("Marlwood77301/config.json"), ConfigOf(package) + "\n");
     }},
    {"TamperedFileInfo",
     [](HttpsTestServer& server, const GamePackage& package) {
       std::string tampered = package.fileInfo;
       tampered.insert(tampered.size() - 1, R"(,"fileNameList2":[])");
       server.Serve(ServerPath(FileInfoPath(package)), tampered);
     }},
    {"SignedByAnotherKey",
     [](HttpsTestServer& server, const GamePackage& package) {
       TempDir folder;
       const SigningKey stranger = MakeSigningKey(folder.path());
       PublishSigned(server, package, stranger, kSignedAt);
     }},
    {"ConfigSignatureMissing",
     [](HttpsTestServer& server, const GamePackage&) {
       server.Serve(ServerPath("Marlwood77301/config.json.minisig"), Reply::Status(404));
     }},
    {"FileInfoSignatureMissing",
     [](HttpsTestServer& server, const GamePackage& package) {
       server.Serve(ServerPath(FileInfoPath(package) + ".minisig"), Reply::Status(404));
     }},
};

std::string RefusalName(const testing::TestParamInfo<std::tuple<Platform, Refusal>>& info) {
  return PlatformName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Linux, SignedReleaseRefusalTest,
                         testing::Combine(testing::Values(Platform::Linux),
                                          testing::ValuesIn(kRefusals)),
                         RefusalName);
INSTANTIATE_TEST_SUITE_P(Windows, SignedReleaseRefusalTest,
                         testing::Combine(testing::Values(Platform::Windows),
                                          testing::ValuesIn(kRefusals)),
                         RefusalName);

// A player on 1.0.1, whose cache has grown stale, is served the old release again, documents and
// signatures as they were: the config is older than the one accepted, so the launcher does not
// go back to 1.0.0.
TEST_P(SignedReleaseRoadTest, ReplayedOlderReleaseIsRefused) {
  const GamePackage old = Package("1.0.0");
  const GamePackage current = Package("1.0.1");
  PublishSigned(server_, current, LauncherSigningKey(), kSignedAt + 100);
  const LauncherOutcome installed = Run({});
  ASSERT_EQ(installed.exitCode, 0) << installed.err;
  ASSERT_FALSE(GameReceived().empty());
  std::filesystem::remove("Kelpstone/game_received.txt");
  AgeFile("Kelpstone/fileInfo_1_0_1.json", 11 * 24 * 3600);

  PublishSigned(server_, old, LauncherSigningKey(), kSignedAt);
  server_.ClearRequests();

  const LauncherOutcome outcome = Run({}, "cancel");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find("older than the config accepted before"), std::string::npos)
      << outcome.err;
  ExpectNothingDownloadedOrLaunched(old);
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.1\n");
}

// The signed fileInfo states a SHA-256 the package does not have, while its MD5 matches: the
// package is refused after its download, deleted, and the game not started.
TEST_P(SignedReleaseRoadTest, PackageMatchingMd5ButNotSha256IsRefused) {
  const GamePackage package = Package("1.0.0");
  GamePackage stated = package;
  stated.fileInfo = WithSha256(package, Sha256Hex(package.bytes + "other"));
  PublishSigned(server_, stated, LauncherSigningKey(), kSignedAt);

  const LauncherOutcome outcome = Run({}, "cancel");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find(Shown("文件校验不一致，点击重新下载")), std::string::npos) << outcome.err;
  EXPECT_FALSE(platform::PathExists(package.zipName));
  EXPECT_FALSE(platform::PathExists("Kelpstone/data/readme.txt"));
  EXPECT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
}

INSTANTIATE_TEST_SUITE_P(Linux, SignedReleaseRoadTest, testing::Values(Platform::Linux),
                         PlatformParamName);
INSTANTIATE_TEST_SUITE_P(Windows, SignedReleaseRoadTest, testing::Values(Platform::Windows),
                         PlatformParamName);

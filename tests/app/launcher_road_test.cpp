// The launcher as a real process against the loopback HTTPS server: install, no-update start,
// resume, failures with Retry and Cancel, single instance. Each case runs the Linux launcher
// headless and, in the Windows stage (scripts/test-windows.sh names the exe), the Windows
// launcher under Wine with its message boxes answered from the keyboard.

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/format_size.h"
#include "core/strings.h"
#include "fs/download_record.h"
#include "net/package_parts.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/https_test_server.h"
#include "tests/support/launcher_road_fixture.h"
#include "tests/support/launcher_process.h"
#include "tests/support/published_game.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine_session.h"
#include "tests/support/zip_builder.h"

using namespace std::chrono_literals;
using namespace testing_support;

TEST_P(LauncherRoadTest, FreshInstallStartsTheGameWithOurArguments) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);

  const LauncherOutcome outcome = Run({"x", "y z", "w"});
  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0);
  // An argument with a blank reaches the game as two words.
  EXPECT_EQ(GameReceived(), Received({"x", "y", "z", "w"}));
  EXPECT_EQ(PackageRequests(package), 1);
  EXPECT_FALSE(platform::PathExists("Marlwood77301"));  // the package folder is gone
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.0\n");
  EXPECT_NE(ReadFile("Kelpstone/fileInfo_1_0_0.json").find(package.md5), std::string::npos);
  EXPECT_EQ(ReadFile("Kelpstone/downloadRecord"),
            "installPending=\r\r\nzipMd5=" + package.md5 + "\r\r\nzipName=" + package.zipName);
}

TEST_P(LauncherRoadTest, SecondRunLaunchesWithoutDownloading) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  const LauncherOutcome firstRun = Run({});
  ASSERT_EQ(firstRun.exitCode, 0) << firstRun.out << firstRun.err;
  ASSERT_FALSE(GameReceived().empty());
  std::filesystem::remove("Kelpstone/game_received.txt");
  server_.ClearRequests();

  const LauncherOutcome outcome = Run({"again"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"again"}));
  EXPECT_EQ(PackageRequests(package), 0);
  // The fresh cache answers: only the config document is fetched.
  EXPECT_EQ(server_.RequestedPaths(), std::vector<std::string>{ServerPath("Marlwood77301/config.json")});
}

class LauncherResumeTest : public LauncherRoadFixture,
                           public testing::WithParamInterface<std::tuple<Platform, double>> {
 protected:
  void SetUp() override { StartOn(std::get<0>(GetParam())); }
};

TEST_P(LauncherResumeTest, KilledMidDownloadResumesFromTheKeptBytes) {
  const GamePackage package = Package("1.0.0", 3 << 20);
  Publish(server_, package);
  const size_t stallAt =
      static_cast<size_t>(static_cast<double>(package.bytes.size()) * std::get<1>(GetParam()));
  server_.Serve(ServerPath(package.zipName), Reply::Body(package.bytes).StallingAt(stallAt, 30s));

  {
    LauncherProcess launcher(dir(), {}, Options());
    // Killed once the parts file names the bytes before the stall (the last ones may still
    // sit in the writer's buffer): what it names is what a restart keeps.
    ASSERT_TRUE(Eventually([&] {
      return KeptPackageBytes(package.zipName, package.bytes.size()).value_or(0) + 65536 >= stallAt;
    }, 20s));
    launcher.Kill();
  }
  const uint64_t kept = KeptPackageBytes(package.zipName, package.bytes.size()).value_or(0);
  ASSERT_GT(kept, 0u);
  server_.Serve(ServerPath(package.zipName), package.bytes);
  server_.ClearRequests();

  const LauncherOutcome outcome = Run({"resumed"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"resumed"}));
  bool resumed = false;
  for (const RecordedRequest& request : server_.Requests()) {
    if (request.path == ServerPath(package.zipName)) {
      resumed = request.range.rfind("bytes=" + std::to_string(kept) + "-", 0) == 0;
    }
  }
  EXPECT_TRUE(resumed);
}

std::string ResumeName(const testing::TestParamInfo<std::tuple<Platform, double>>& info) {
  return PlatformName(std::get<0>(info.param)) + "_" +
         std::to_string(static_cast<int>(std::get<1>(info.param) * 100)) + "percent";
}

INSTANTIATE_TEST_SUITE_P(Linux, LauncherResumeTest,
                         testing::Combine(testing::Values(Platform::Linux),
                                          testing::Values(0.1, 0.5, 0.9)),
                         ResumeName);
// Under Wine a start costs seconds: one point stands for the others.
INSTANTIATE_TEST_SUITE_P(Windows, LauncherResumeTest,
                         testing::Combine(testing::Values(Platform::Windows), testing::Values(0.5)),
                         ResumeName);

TEST_P(LauncherRoadTest, WrongMd5DeletesThePackageAndRetryDownloadsItAgain) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  std::string wrong = package.fileInfo;
  wrong.replace(wrong.find(package.md5), 32, std::string(32, '0'));
  const std::string fileInfoPath = ServerPath("Marlwood77301/fileInfo_1_0_0.json");
  server_.Serve(fileInfoPath, std::vector<Reply>{Reply::Body(wrong), Reply::Body(package.fileInfo)});

  const LauncherOutcome outcome = Run({}, "retry");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find(Shown("文件校验不一致，点击重新下载")), std::string::npos) << outcome.err;
  EXPECT_FALSE(GameReceived().empty());
  EXPECT_EQ(PackageRequests(package), 2);
  // Each document request, on whichever thread, carries a number of its own past the caches.
  std::set<std::string> targets;
  size_t documents = 0;
  for (const RecordedRequest& request : server_.Requests()) {
    if (request.path.ends_with(".json")) {
      ++documents;
      targets.insert(request.target);
    }
  }
  EXPECT_GE(documents, 3u);
  EXPECT_EQ(targets.size(), documents);
}

constexpr uint64_t kPebibyte = uint64_t{1} << 50;

// The package's document declaring a package of a pebibyte, more than any test machine holds free.
std::string DeclaringAPebibyte(const GamePackage& package) {
  std::string huge = package.fileInfo;
  const std::string declared = "\"zipBytes\":" + std::to_string(package.bytes.size());
  EXPECT_NE(huge.find(declared), std::string::npos);
  huge.replace(huge.find(declared), declared.size(), "\"zipBytes\":" + std::to_string(kPebibyte));
  return huge;
}

TEST_P(LauncherRoadTest, PackageLargerThanTheFreeSpaceIsRefusedBeforeItsFirstByte) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  const std::string huge = DeclaringAPebibyte(package);
  server_.Serve(ServerPath("Marlwood77301/fileInfo_1_0_0.json"),
                std::vector<Reply>{Reply::Body(huge), Reply::Body(package.fileInfo)});

  const LauncherOutcome outcome = Run({}, "retry");
  EXPECT_EQ(outcome.exitCode, 0);
  const std::string box =
      Shown("caption=\"\" text=\"磁盘空间不足：下载还需要" + FormatSize(kPebibyte) + "，磁盘只剩");
  const size_t at = outcome.err.find(box);
  ASSERT_NE(at, std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find(Shown("\\n点击重试\""), at), std::string::npos) << outcome.err;
  // Retry fetched the true document and installed the package, asked for once.
  EXPECT_FALSE(GameReceived().empty());
  EXPECT_EQ(PackageRequests(package), 1);
}

// The package an earlier attempt named is deleted before the room is counted: it neither counts as
// used nor stays behind when the new one is refused.
TEST_P(LauncherRoadTest, SupersededPackageIsGoneBeforeTheRoomIsCounted) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  server_.Serve(ServerPath("Marlwood77301/fileInfo_1_0_0.json"), DeclaringAPebibyte(package));
  WriteFile("Marlwood77301/game_0_9_0.zip", "superseded");
  SaveDownloadRecord("zipName", "Marlwood77301/game_0_9_0.zip");
  SaveDownloadRecord("zipMd5", package.md5);

  const LauncherOutcome outcome = Run({}, "cancel");

  EXPECT_NE(outcome.err.find(Shown("磁盘空间不足")), std::string::npos) << outcome.err;
  EXPECT_FALSE(platform::PathExists("Marlwood77301/game_0_9_0.zip"));
}

// The document states the package's size: a body that runs past it fails the download, and the
// bytes up to it, when they are the package, are installed on Retry without a second download.
TEST_P(LauncherRoadTest, PackageBodyPastTheStatedSizeFailsAndTheStatedBytesAreKept) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  server_.Serve(ServerPath(package.zipName), package.bytes + std::string(70000, 'j'));

  const LauncherOutcome outcome = Run({}, "retry");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find("package larger than its " + std::to_string(package.bytes.size()) +
                             " bytes"),
            std::string::npos)
      << outcome.err;
  EXPECT_FALSE(GameReceived().empty());
  // The first range's answer states the larger size; the one-connection download then
  // writes the stated bytes.
  EXPECT_EQ(PackageRequests(package), 2);
}

TEST_P(LauncherRoadTest, FailedExtractionOffersRetryAndNeverLaunchesAHalfInstall) {
  const GamePackage good = Package("1.0.1");
  GamePackage broken = Package("1.0.0");
  // Damage the packed data after the first entry: the archive opens, an entry fails to inflate.
  broken.bytes.replace(EntryDataOffset(broken.bytes, "data/readme.txt"), 4, "\xff\xff\xff\xff");
  const std::string brokenMd5 = Md5Hex(broken.bytes);
  broken.fileInfo.replace(broken.fileInfo.find(broken.md5), 32, brokenMd5);
  broken.md5 = brokenMd5;
  Publish(server_, broken);

  // Cancel at the failure box: the process ends with code 0 and the game is not started.
  LauncherOutcome outcome = Run({}, "cancel");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find(Shown("解压文件失败！")), std::string::npos) << outcome.err;
  EXPECT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
  ForgetDownloadRecord();
  EXPECT_EQ(DownloadRecordValue("installPending"), broken.zipName);

  // The publisher fixes the package; Retry installs it and starts the game.
  Publish(server_, good);
  outcome = Run({}, "retry");
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_FALSE(GameReceived().empty());
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.1\n");
}

TEST_P(LauncherRoadTest, KillDuringExtractionReinstallsTheKeptPackageBeforeLaunching) {
  // Many small entries: the extraction takes a while without a package slow to serve.
  const GamePackage package = Package("1.0.0", 8 << 20, 4096);
  Publish(server_, package);
  {
    LauncherProcess launcher(dir(), {}, Options());
    // The package's second entry is on disk and 2048 small ones follow: the extraction runs.
    // (An open file is no signal here: each of these is written in a moment.)
    ASSERT_TRUE(Eventually([] { return platform::PathExists("Kelpstone/data/readme.txt"); }, 60s))
        << launcher.Err();
    launcher.Kill();
  }
  ASSERT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
  server_.ClearRequests();

  const LauncherOutcome outcome = Run({"after", "crash"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"after", "crash"}));
  EXPECT_EQ(PackageRequests(package), 0);  // the kept package was complete and verified
  EXPECT_EQ(platform::FileSize("Kelpstone/data/filler2047.bin"), 4096u);
}

enum class KillPoint { MidDownload, Settle, DigestCheck, Extraction };

std::string KillPointName(const testing::TestParamInfo<std::tuple<Platform, KillPoint>>& info) {
  const std::string platform = PlatformName(std::get<0>(info.param)) + "_";
  switch (std::get<1>(info.param)) {
    case KillPoint::MidDownload: return platform + "MidDownload";
    case KillPoint::Settle: return platform + "Settle";
    case KillPoint::DigestCheck: return platform + "DigestCheck";
    case KillPoint::Extraction: return platform + "Extraction";
  }
  return "";
}

class LauncherUpdateTest : public LauncherRoadFixture,
                           public testing::WithParamInterface<std::tuple<Platform, KillPoint>> {
 protected:
  void SetUp() override { StartOn(std::get<0>(GetParam())); }
  KillPoint Point() const { return std::get<1>(GetParam()); }
};

TEST_P(LauncherUpdateTest, UpdateCutShortIsFinishedBeforeTheGameStarts) {
  // Two versions under the same file names: the installed files alone cannot tell them apart.
  // Large enough that the digest check and the extraction each last a while.
  const GamePackage installed = Package("1.0.0", 24 << 20, 64 << 10);
  const GamePackage update = Package("1.0.1", 24 << 20, 64 << 10);
  Publish(server_, installed);
  // The launcher pauses only after stopping a game: the game the first run starts is still
  // running when the update comes.
  const bool gameRunning = Point() == KillPoint::Settle || Point() == KillPoint::DigestCheck;
  if (gameRunning) SetWineVariable("SAMPLE_GAME_LINGER_MS", "30000");
  LaunchOptions firstOptions = Options();
  if (gameRunning) firstOptions.environment.emplace_back("SAMPLE_GAME_LINGER_MS", "30000");
  const LauncherOutcome firstRun = LauncherProcess(dir(), {}, firstOptions).Wait(60s);
  ASSERT_EQ(firstRun.exitCode, 0) << firstRun.out << firstRun.err;
  ASSERT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.0\n");
  ASSERT_FALSE(GameReceived().empty());
  std::filesystem::remove("Kelpstone/game_received.txt");
  // Nothing known of the installed files per entry: the update is the whole package.
  std::filesystem::remove("Kelpstone/.tidewake-manifest");

  Publish(server_, update);
  // The installed version's cached document is fresh: only its end of support moves the player on.
  server_.Serve(ServerPath("Marlwood77301/config.json"),
                R"({"lastVersion":"1.0.1","unsupportedVersions":["1.0.0"]})");
  const size_t stallAt = update.bytes.size() / 2;
  if (Point() == KillPoint::MidDownload) {
    server_.Serve(ServerPath(update.zipName), Reply::Body(update.bytes).StallingAt(stallAt, 30s));
  }
  // The download makes the digests as the package arrives and the check reads nothing; only a
  // package found complete is read by the check, so a first run is stopped while it settles.
  if (Point() == KillPoint::DigestCheck) {
    LauncherProcess settling(dir(), {}, Options());
    ASSERT_TRUE(Eventually([&] { return Settling(settling, update); }, 60s)) << settling.Err();
    settling.Kill();
  }
  const auto keptByParts = [&] {
    return KeptPackageBytes(update.zipName, update.bytes.size()).value_or(0);
  };
  {
    LauncherProcess launcher(dir(), {}, Options());
    const auto reached = [&] {
      switch (Point()) {
        case KillPoint::MidDownload: return keptByParts() + 65536 >= stallAt;
        case KillPoint::Settle: return Settling(launcher, update);
        case KillPoint::DigestCheck: return CheckingDigest(launcher, update);
        case KillPoint::Extraction:
          // A game file open for writing, or the new version's early entry already written.
          return Extracting(launcher) ||
                 ReadFile("Kelpstone/data/readme.txt") == "sample game 1.0.1\n";
      }
      return false;
    };
    ASSERT_TRUE(Eventually(reached, 60s)) << launcher.Err();
    launcher.Kill();
  }
  ASSERT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
  if (Point() != KillPoint::Extraction) {
    ASSERT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.0\n");
  }
  const uint64_t kept =
      Point() == KillPoint::MidDownload ? keptByParts() : platform::FileSize(update.zipName);
  const std::optional<PackageParts> parts = ReadPackageParts(update.zipName);
  const ByteRanges keptRanges = parts ? parts->written : ByteRanges();
  server_.Serve(ServerPath(update.zipName), update.bytes);
  server_.ClearRequests();

  const LauncherOutcome outcome = Run({"after", "stop"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"after", "stop"}));
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 1.0.1\n");
  EXPECT_FALSE(platform::PathExists("Marlwood77301"));
  if (Point() == KillPoint::MidDownload) {
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, update.bytes.size());
    // Exactly the bytes the parts file did not name were asked for.
    ByteRanges whole = keptRanges;
    uint64_t asked = 0;
    for (const RecordedRequest& request : server_.Requests()) {
      if (request.path != ServerPath(update.zipName)) continue;
      unsigned long long first = 0;
      unsigned long long last = 0;
      ASSERT_EQ(std::sscanf(request.range.c_str(), "bytes=%llu-%llu", &first, &last), 2);
      asked += last + 1 - first;
      whole.Add(first, last + 1);
    }
    EXPECT_EQ(asked, update.bytes.size() - kept);
    EXPECT_EQ(whole.CoveredBytes(), update.bytes.size());
  } else {
    EXPECT_EQ(kept, update.bytes.size());
    EXPECT_EQ(PackageRequests(update), 0);  // the kept package was complete and is verified
  }
  ForgetDownloadRecord();
  EXPECT_EQ(DownloadRecordValue("installPending"), "");
  EXPECT_EQ(DownloadRecordValue("zipName"), update.zipName);
  EXPECT_EQ(DownloadRecordValue("zipMd5"), update.md5);
}

INSTANTIATE_TEST_SUITE_P(Linux, LauncherUpdateTest,
                         testing::Combine(testing::Values(Platform::Linux),
                                          testing::Values(KillPoint::MidDownload, KillPoint::Settle,
                                                          KillPoint::DigestCheck,
                                                          KillPoint::Extraction)),
                         KillPointName);
INSTANTIATE_TEST_SUITE_P(Windows, LauncherUpdateTest,
                         testing::Combine(testing::Values(Platform::Windows),
                                          testing::Values(KillPoint::MidDownload, KillPoint::Settle,
                                                          KillPoint::DigestCheck,
                                                          KillPoint::Extraction)),
                         KillPointName);

TEST_P(LauncherRoadTest, UpperCaseDigestInTheDocumentInstallsAndIsRecordedAsWritten) {
  GamePackage package = Package("1.0.0");
  std::string upper = package.md5;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  package.fileInfo.replace(package.fileInfo.find(package.md5), 32, upper);
  Publish(server_, package);

  const LauncherOutcome outcome = Run({});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err.find(Shown("文件校验不一致")), std::string::npos) << outcome.err;
  EXPECT_FALSE(GameReceived().empty());
  ForgetDownloadRecord();
  EXPECT_EQ(DownloadRecordValue("zipMd5"), upper);
}

TEST_P(LauncherRoadTest, UnwritableRecordGetsOneErrorBoxPerStepAndTheGameStillStarts) {
  const GamePackage package = Package("1.0.0");
  Publish(server_, package);
  // A directory where the record file should be: every write of the record fails.
  WriteFile("Kelpstone/downloadRecord/occupied", "x");

  const LauncherOutcome outcome = Run({});
  EXPECT_EQ(outcome.exitCode, 0);
  const std::string box =
      Shown("caption=\"错误\" text=\"访问文件Kelpstone/downloadRecord错误，请关闭其他占用该文件的程序后再重试\"");
  int boxes = 0;
  for (size_t at = outcome.err.find(box); at != std::string::npos; at = outcome.err.find(box, at + 1)) {
    ++boxes;
  }
  // One for the three writes before the download, one for the pending install cleared.
  EXPECT_EQ(boxes, 2) << outcome.err;
  EXPECT_FALSE(GameReceived().empty());
}

TEST_P(LauncherRoadTest, ServerDownGivesTheTimeOutBoxAndCancelEndsWithCodeZero) {
  server_.Stop();
  const LauncherOutcome outcome = Run({}, "cancel", 40s);
  ASSERT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find(Shown("caption=\"请求超时\" text=\"请求超时，点击重试？\" buttons=retry,cancel")),
            std::string::npos)
      << outcome.err;
  EXPECT_GT(outcome.seconds, 12.4);
  EXPECT_LT(outcome.seconds, 20.0);
}

// Only the authorities compiled into the launcher are trusted: a server whose certificate
// another one issued, as an impostor's on the player's network would be, never gets a request.
TEST_P(LauncherRoadTest, ServerCertifiedByAnotherAuthorityIsRefused) {
  server_.Stop();
  HttpsTestServer impostor(LauncherTestPort(), CertificateAuthority::Generate("Impostor CA"));
  Publish(impostor, Package("1.0.0"));

  LauncherProcess launcher(dir(), {}, Options());
  // CURLE_PEER_FAILED_VERIFICATION: the certificate chain, not the connection, failed.
  EXPECT_TRUE(Eventually([&] { return launcher.Out().find("curlcode = 60") != std::string::npos; },
                         20s))
      << launcher.Out();
  launcher.Kill();
  EXPECT_TRUE(impostor.Requests().empty());
  EXPECT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
}

// The time-out prompt shows the close button; a click on it, the box still standing, ends the
// process a second later with code 0.
TEST_P(LauncherRoadTest, CloseButtonBesideTheTimeOutBoxEndsTheProcessASecondAfterTheClick) {
  if (!OnWindows()) {
    GTEST_SKIP() << "the headless launcher takes no clicks; close_button_test.cpp clicks in process";
  }
  server_.Stop();
  LauncherProcess launcher(dir(), {}, Options("leave"));
  ASSERT_TRUE(Eventually([&] { return launcher.Err().find(Shown("请求超时")) != std::string::npos; },
                         30s))
      << launcher.Err();
  const auto splash = WindowPosition("Tidewake");
  ASSERT_TRUE(splash.has_value());
  // The close button's centre, in the splash's own coordinates.
  const auto clicked = std::chrono::steady_clock::now();
  ASSERT_TRUE(ClickAt(splash->first + 1027 + 24, splash->second + 44 + 24));
  const LauncherOutcome outcome = launcher.Wait(5s);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_GE(seconds, 1.0);
  EXPECT_LT(seconds, 2.5);
}

TEST_P(LauncherRoadTest, SecondStartWakesTheFirstAndEndsAtOnce) {
  server_.Serve(ServerPath("Marlwood77301/config.json"), Reply::Body("{}").StallingBeforeHeaders(30s));
  LauncherProcess first(dir(), {}, Options());
  std::this_thread::sleep_for(700ms);
  ASSERT_TRUE(first.Running());

  LauncherProcess second(dir(), {}, Options());
  const LauncherOutcome outcome = second.Wait(5s);
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_LT(outcome.seconds, 2.0);
  EXPECT_TRUE(first.Running());
  first.Kill();
}

INSTANTIATE_TEST_SUITE_P(Linux, LauncherRoadTest, testing::Values(Platform::Linux), PlatformParamName);
INSTANTIATE_TEST_SUITE_P(Windows, LauncherRoadTest, testing::Values(Platform::Windows),
                         PlatformParamName);

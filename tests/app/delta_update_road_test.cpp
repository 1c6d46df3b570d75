// Updates that fetch only the entries that changed, with the launcher as a real process against
// the loopback HTTPS server: what the server was asked for, what ends up installed, and how the
// faults of a range fetch end (the full download, the extraction's failure box, the next start).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/strings.h"
#include "fs/download_record.h"
#include "install/package_manifest.h"
#include "install/zip_directory.h"
#include "platform/files.h"
#include "tests/support/https_test_server.h"
#include "tests/support/launcher_process.h"
#include "tests/support/launcher_road_fixture.h"
#include "tests/support/published_game.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

constexpr size_t kChangingBytes = 768 << 10;

struct Span {
  uint64_t start = 0, end = 0;
};

// The package's directory, read from its bytes.
std::vector<ZipDirectoryEntry> DirectoryOf(const std::string& archive) {
  const std::optional<ZipTail> tail = ParseZipTail(archive, archive.size());
  if (!tail) return {};
  const std::optional<std::vector<ZipDirectoryEntry>> directory = ParseZipDirectory(
      std::string_view(archive).substr(tail->directoryOffset, tail->directoryBytes), *tail);
  return directory ? *directory : std::vector<ZipDirectoryEntry>{};
}

uint64_t DirectoryOffsetOf(const std::string& archive) {
  return ParseZipTail(archive, archive.size())->directoryOffset;
}

Span SpanOf(const std::string& archive, const std::string& name) {
  for (const ZipDirectoryEntry& entry : DirectoryOf(archive)) {
    if (entry.name == name) return {entry.spanStart, entry.spanEnd};
  }
  ADD_FAILURE() << "no entry " << name;
  return {};
}

class DeltaRoadFixture : public LauncherRoadFixture {
 protected:
  // The two versions of the game; `changing` holds a large entry whose bytes differ.
  GamePackage Version(const std::string& version, unsigned changingSeed,
                      std::vector<std::pair<std::string, std::string>> more = {}) {
    more.emplace_back("data/changing.bin", IncompressibleBytes(kChangingBytes, changingSeed));
    return Package(version, 2 << 20, 256 << 10, more);
  }

  void Install(const GamePackage& package) {
    Publish(server_, package);
    const LauncherOutcome first = Run({});
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    ASSERT_FALSE(GameReceived().empty());
    std::filesystem::remove("Kelpstone/game_received.txt");
  }

  // The next version on the server; the installed one's cached document is fresh, so its end
  // of support is what moves the player on.
  void PublishUpdate(const GamePackage& package, std::optional<Reply> packageReply = std::nullopt) {
    Publish(server_, package);
    server_.Serve(ServerPath("Marlwood77301/config.json"),
                  R"({"lastVersion":")" + package.version + R"(","unsupportedVersions":["1.0.0"]})");
    if (packageReply) server_.Serve(ServerPath(package.zipName), *packageReply);
    server_.ClearRequests();
  }

  // What the package's requests asked for; a request without a range asked for all of it.
  std::vector<Span> AskedOf(const GamePackage& package) const {
    std::vector<Span> spans;
    for (const RecordedRequest& request : server_.Requests()) {
      if (request.path != ServerPath(package.zipName)) continue;
      if (request.range.empty()) {
        spans.push_back({0, package.bytes.size()});
        continue;
      }
      const std::string range = request.range.substr(6);  // "bytes="
      const size_t dash = range.find('-');
      spans.push_back({std::stoull(range.substr(0, dash)), std::stoull(range.substr(dash + 1)) + 1});
    }
    return spans;
  }

  uint64_t BytesAsked(const GamePackage& package) const {
    uint64_t total = 0;
    for (const Span& span : AskedOf(package)) total += span.end - span.start;
    return total;
  }

  bool Covered(const GamePackage& package, const Span& wanted) const {
    for (const Span& span : AskedOf(package)) {
      if (span.start <= wanted.start && wanted.end <= span.end) return true;
    }
    return false;
  }

  // The whole download may ask for the package as one range from its first byte to (or past) its
  // last.
  bool AnyWholePackageRequest(const GamePackage& package) const {
    for (const Span& span : AskedOf(package)) {
      if (span.start == 0 && span.end >= package.bytes.size()) return true;
    }
    return false;
  }

  void ExpectInstalledAndStarted(const LauncherOutcome& outcome, const GamePackage& package,
                                 const std::vector<std::string>& args, unsigned changingSeed) {
    EXPECT_EQ(outcome.exitCode, 0) << outcome.out << outcome.err;
    EXPECT_EQ(GameReceived(), Received(args));
    EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game " + package.version + "\n");
    EXPECT_TRUE(ReadFile("Kelpstone/data/changing.bin") ==
                IncompressibleBytes(kChangingBytes, changingSeed));
    EXPECT_FALSE(platform::PathExists("Marlwood77301"));
    ForgetDownloadRecord();
    EXPECT_EQ(DownloadRecordValue("installPending"), "");
    EXPECT_EQ(DownloadRecordValue("zipName"), package.zipName);
    EXPECT_EQ(DownloadRecordValue("zipMd5"), package.md5);
  }
};

class DeltaRoadTest : public DeltaRoadFixture, public testing::WithParamInterface<Platform> {
 protected:
  void SetUp() override { StartOn(GetParam()); }
};

// The readme and the large entry change; the rest is fetched not at all, and the next start
// finds a current install.
TEST_P(DeltaRoadTest, OnlyTheChangedEntriesAreFetched) {
  const GamePackage installed = Version("1.0.0", 100);
  const GamePackage update = Version("1.0.1", 200);
  Install(installed);
  PublishUpdate(update);

  const LauncherOutcome outcome = Run({"delta"});

  ExpectInstalledAndStarted(outcome, update, {"delta"}, 200);
  EXPECT_FALSE(AnyWholePackageRequest(update));
  const Span readme = SpanOf(update.bytes, "data/readme.txt");
  const Span changing = SpanOf(update.bytes, "data/changing.bin");
  EXPECT_TRUE(Covered(update, readme));
  EXPECT_TRUE(Covered(update, changing));
  const uint64_t directory = update.bytes.size() - DirectoryOffsetOf(update.bytes);
  // The changed entries, the end records and directory, and the few kilobytes a merged gap or
  // a tail request may add.
  EXPECT_LE(BytesAsked(update),
            (readme.end - readme.start) + (changing.end - changing.start) + directory + 8192);
  EXPECT_LT(BytesAsked(update), update.bytes.size() / 3);

  std::filesystem::remove("Kelpstone/game_received.txt");
  server_.ClearRequests();
  const LauncherOutcome next = Run({"again"});
  EXPECT_EQ(next.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"again"}));
  EXPECT_TRUE(AskedOf(update).empty());
}

// The same bytes under a new version's name: the directory says everything is installed.
TEST_P(DeltaRoadTest, RepublishedContentFetchesOnlyTheEndRecordsAndDirectory) {
  const GamePackage installed = Version("1.0.0", 100);
  GamePackage again = installed;
  again.version = "1.0.1";
  again.zipName = "Marlwood77301/game_1_0_1.zip";
  again.fileInfo = ReplaceAll(installed.fileInfo, installed.zipName, again.zipName);
  Install(installed);
  const std::string readmeBefore = ReadFile("Kelpstone/data/readme.txt");
  PublishUpdate(again);

  const LauncherOutcome outcome = Run({"same"});

  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(GameReceived(), Received({"same"}));
  const std::vector<Span> asked = AskedOf(again);
  ASSERT_FALSE(asked.empty());
  const uint64_t directoryOffset = DirectoryOffsetOf(again.bytes);
  // Every range asked ends inside the directory or the end records: no entry's bytes.
  for (const Span& span : asked) EXPECT_GT(span.end, directoryOffset) << span.start;
  EXPECT_LE(BytesAsked(again), again.bytes.size() - directoryOffset + 1024);
  ForgetDownloadRecord();
  EXPECT_EQ(DownloadRecordValue("zipName"), again.zipName);
  EXPECT_EQ(DownloadRecordValue("installPending"), "");
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), readmeBefore);
}

// A server that answers every range with the whole package: the full download installs it.
TEST_P(DeltaRoadTest, ServerIgnoringRangesGetsTheFullDownload) {
  const GamePackage installed = Version("1.0.0", 100);
  const GamePackage update = Version("1.0.1", 200);
  Install(installed);
  PublishUpdate(update, Reply::Body(update.bytes).IgnoringRange());

  const LauncherOutcome outcome = Run({"full"});

  ExpectInstalledAndStarted(outcome, update, {"full"}, 200);
  EXPECT_TRUE(AnyWholePackageRequest(update));
}

// A player's edit moves the file's time: the file no longer counts as installed and is
// fetched again, though its entry did not change.
TEST_P(DeltaRoadTest, FileEditedByThePlayerIsFetchedAgain) {
  const GamePackage installed = Version("1.0.0", 100);
  const GamePackage update = Version("1.0.1", 100);
  Install(installed);
  const std::string original = ReadFile("Kelpstone/data/filler1.bin");
  std::string edited = original;
  edited[100] = static_cast<char>(edited[100] ^ 0x55);
  WriteFile("Kelpstone/data/filler1.bin", edited);  // the same size
  PublishUpdate(update);

  const LauncherOutcome outcome = Run({"edited"});

  ExpectInstalledAndStarted(outcome, update, {"edited"}, 100);
  EXPECT_TRUE(ReadFile("Kelpstone/data/filler1.bin") == original);
  EXPECT_FALSE(AnyWholePackageRequest(update));
  EXPECT_TRUE(Covered(update, SpanOf(update.bytes, "data/filler1.bin")));
  EXPECT_FALSE(Covered(update, SpanOf(update.bytes, "data/filler3.bin")));
}

// The connection drops in the middle of the large entry, once: the rest of that range is asked
// for and the update finishes without the full package.
TEST_P(DeltaRoadTest, ConnectionCutMidRangeIsResumed) {
  const GamePackage installed = Version("1.0.0", 100);
  const GamePackage update = Version("1.0.1", 200);
  Install(installed);
  PublishUpdate(update);
  const Span changing = SpanOf(update.bytes, "data/changing.bin");
  const uint64_t cutAt = changing.start + (changing.end - changing.start) / 2;
  auto dropped = std::make_shared<std::atomic<bool>>(false);
  auto bytes = std::make_shared<const std::string>(update.bytes);
  server_.Handle(ServerPath(update.zipName), [bytes, cutAt, dropped](const httplib::Request& request,
                                                                     httplib::Response& response) {
    CutRangesAt(request, bytes->size());
    response.set_content_provider(
        bytes->size(), "application/octet-stream",
        [bytes, cutAt, dropped](size_t offset, size_t length, httplib::DataSink& sink) {
          size_t end = offset + length;
          const bool cut = offset <= cutAt && cutAt < end && !dropped->exchange(true);
          if (cut) end = cutAt;
          if (end > offset && !sink.write(bytes->data() + offset, end - offset)) return false;
          return !cut;
        });
  });

  const LauncherOutcome outcome = Run({"cut"});

  ExpectInstalledAndStarted(outcome, update, {"cut"}, 200);
  EXPECT_TRUE(dropped->load());
  EXPECT_FALSE(AnyWholePackageRequest(update));
  bool resumed = false;
  for (const Span& span : AskedOf(update)) resumed |= span.start > changing.start && span.start <= cutAt;
  EXPECT_TRUE(resumed);
}

// A range cache that serves a changed entry with a damaged byte (every range but the whole
// package's): the small zip fails its CRC-32 in the extraction's failure box, as a damaged full
// package does, and the Retry fetches the whole package rather than the same ranges again.
TEST_P(DeltaRoadTest, FetchedEntryFailingItsCrcIsRetriedAsTheWholePackage) {
  const GamePackage installed = Version("1.0.0", 100);
  const GamePackage update = Version("1.0.1", 200);
  auto damaged = std::make_shared<std::string>(update.bytes);
  const size_t data = EntryDataOffset(*damaged, "data/changing.bin");
  (*damaged)[data + 1000] = static_cast<char>((*damaged)[data + 1000] ^ 0x01);
  auto good = std::make_shared<const std::string>(update.bytes);
  Install(installed);
  PublishUpdate(update);
  server_.Handle(ServerPath(update.zipName), [damaged, good](const httplib::Request& request,
                                                            httplib::Response& response) {
    CutRangesAt(request, good->size());
    const bool whole = request.ranges.empty() || (request.ranges.front().first == 0 &&
                                                  request.ranges.front().second + 1 >=
                                                      static_cast<ssize_t>(good->size()));
    auto body = whole ? good : std::shared_ptr<const std::string>(damaged);
    response.set_content_provider(
        body->size(), "application/octet-stream",
        [body](size_t offset, size_t length, httplib::DataSink& sink) {
          return sink.write(body->data() + offset, length);
        });
  });

  const LauncherOutcome outcome = Run({"whole"}, "retry");

  EXPECT_NE(outcome.err.find(Shown("解压文件失败！")), std::string::npos) << outcome.err;
  ExpectInstalledAndStarted(outcome, update, {"whole"}, 200);
  EXPECT_TRUE(AnyWholePackageRequest(update));
}

// The failed extraction's Retry meets a newer version that arrives as a whole package: what gets
// installed is that package, and so is what the manifest describes (never the failed attempt's
// directory, whose checksums would let a later update keep files that differ).
TEST_P(DeltaRoadTest, ManifestAfterARetriedFailureDescribesThePackageInstalled) {
  const GamePackage installed = Version("1.0.0", 100);
  GamePackage damaged = Version("1.0.1", 200);
  const size_t data = EntryDataOffset(damaged.bytes, "data/changing.bin");
  damaged.bytes[data + 1000] = static_cast<char>(damaged.bytes[data + 1000] ^ 0x01);
  const std::string md5 = Md5Hex(damaged.bytes);
  damaged.fileInfo = ReplaceAll(damaged.fileInfo, damaged.md5, md5);
  damaged.md5 = md5;
  const GamePackage next = Version("1.0.2", 300);
  Install(installed);
  Publish(server_, next);
  server_.Serve(ServerPath(next.zipName), Reply::Body(next.bytes).IgnoringRange());
  PublishUpdate(damaged);
  server_.Serve(ServerPath("Marlwood77301/config.json"),
                std::vector<Reply>{
                    Reply::Body(R"({"lastVersion":"1.0.1","unsupportedVersions":["1.0.0"]})"),
                    Reply::Body(R"({"lastVersion":"1.0.2","unsupportedVersions":["1.0.*"]})")});

  const LauncherOutcome outcome = Run({}, "retry");

  EXPECT_NE(outcome.err.find(Shown("解压文件失败！")), std::string::npos) << outcome.err;
  ExpectInstalledAndStarted(outcome, next, {}, 300);
  uint32_t installedCrc = 0;
  for (const ZipDirectoryEntry& entry : DirectoryOf(next.bytes)) {
    if (entry.name == "data/changing.bin") installedCrc = entry.crc32;
  }
  bool described = false;
  for (const ManifestEntry& entry : ReadPackageManifest("Kelpstone/.tidewake-manifest")) {
    if (entry.name != "data/changing.bin") continue;
    described = true;
    EXPECT_EQ(entry.crc32, installedCrc);
  }
  EXPECT_TRUE(described);
}

enum class DeltaKill { Fetch, Extraction };

class DeltaKillTest : public DeltaRoadFixture,
                      public testing::WithParamInterface<std::tuple<Platform, DeltaKill>> {
 protected:
  void SetUp() override { StartOn(std::get<0>(GetParam())); }
};

// Killed while the entries arrive or while they are written: the next start redoes the update
// from the directory and finishes it, again without the full package.
TEST_P(DeltaKillTest, NextStartFinishesTheUpdate) {
  const DeltaKill point = std::get<1>(GetParam());
  // Many changed small files: the extraction lasts a while.
  std::vector<std::pair<std::string, std::string>> more1, more2;
  for (int i = 0; i < 1500; ++i) {
    const std::string name = "data/many/" + std::to_string(i) + ".txt";
    more1.emplace_back(name, CompressibleText(8192, 1000 + i));
    more2.emplace_back(name, CompressibleText(8192, 5000 + i));
  }
  const GamePackage installed = Version("1.0.0", 100, more1);
  const GamePackage update = Version("1.0.1", 200, more2);
  Install(installed);
  const Span changing = SpanOf(update.bytes, "data/changing.bin");
  const size_t stallAt = changing.start + (changing.end - changing.start) / 2;
  PublishUpdate(update, point == DeltaKill::Fetch
                            ? std::optional<Reply>(Reply::Body(update.bytes).StallingAt(stallAt, 30s))
                            : std::nullopt);
  const std::string deltaZip = update.zipName + ".delta.zip";
  {
    LauncherProcess launcher(dir(), {}, Options());
    const auto reached = [&] {
      if (point == DeltaKill::Fetch) return platform::FileSize(deltaZip) > 0 && Covered(update, changing);
      return Extracting(launcher) || ReadFile("Kelpstone/data/readme.txt") == "sample game 1.0.1\n";
    };
    ASSERT_TRUE(Eventually(reached, 60s)) << launcher.Err();
    launcher.Kill();
  }
  ASSERT_FALSE(platform::PathExists("Kelpstone/game_received.txt"));
  // The killed run was on the differential road: no whole package on the disk to go on from.
  EXPECT_FALSE(AnyWholePackageRequest(update));
  server_.Serve(ServerPath(update.zipName), update.bytes);
  server_.ClearRequests();

  const LauncherOutcome outcome = Run({"after", "kill"});

  ExpectInstalledAndStarted(outcome, update, {"after", "kill"}, 200);
  EXPECT_EQ(ReadFile("Kelpstone/data/many/1499.txt"), CompressibleText(8192, 5000 + 1499));
  EXPECT_FALSE(AnyWholePackageRequest(update));
  for (const std::string unchanged : {"data/filler0.bin", "data/filler7.bin", "runa3D.exe"}) {
    EXPECT_FALSE(Covered(update, SpanOf(update.bytes, unchanged))) << unchanged;
  }
}

std::string DeltaKillName(const testing::TestParamInfo<std::tuple<Platform, DeltaKill>>& info) {
  return PlatformName(std::get<0>(info.param)) +
         (std::get<1>(info.param) == DeltaKill::Fetch ? "_Fetch" : "_Extraction");
}

INSTANTIATE_TEST_SUITE_P(Linux, DeltaRoadTest, testing::Values(Platform::Linux), PlatformParamName);
INSTANTIATE_TEST_SUITE_P(Linux, DeltaKillTest,
                         testing::Combine(testing::Values(Platform::Linux),
                                          testing::Values(DeltaKill::Fetch, DeltaKill::Extraction)),
                         DeltaKillName);

// Under Wine one case stands for the others: the Windows build's range fetch, small zip and
// manifest (file times in 100-ns steps) on the common road.
class DeltaWindowsRoadTest : public DeltaRoadTest {};

TEST_P(DeltaWindowsRoadTest, OnlyTheChangedEntriesAreFetched) {
  const GamePackage installed = Version("1.0.0", 100);
  const GamePackage update = Version("1.0.1", 200);
  Install(installed);
  PublishUpdate(update);

  const LauncherOutcome outcome = Run({"delta"});

  ExpectInstalledAndStarted(outcome, update, {"delta"}, 200);
  EXPECT_FALSE(AnyWholePackageRequest(update));
  EXPECT_LT(BytesAsked(update), update.bytes.size() / 3);
}

INSTANTIATE_TEST_SUITE_P(Windows, DeltaWindowsRoadTest, testing::Values(Platform::Windows),
                         PlatformParamName);

}  // namespace

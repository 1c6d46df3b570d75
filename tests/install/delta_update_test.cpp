// The differential update against the loopback HTTPS server: which outcomes leave a small zip of
// the changed entries, and which fall back to the full package (with nothing left behind), signed
// releases' hashes included.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "install/delta_update.h"
#include "install/package_manifest.h"
#include "install/zip_directory.h"
#include "platform/files.h"
#include "tests/support/https_test_server.h"
#include "tests/support/published_game.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

namespace {

using namespace testing_support;

std::string Archive(const std::string& changedContent) {
  ZipBuilder builder;
  builder.AddFile("a.txt", CompressibleText(5000, 1));
  builder.AddFile("changed.txt", changedContent);
  builder.AddFile("b.bin", IncompressibleBytes(20000, 2), ZipMethod::Stored);
  TempDir scratch;
  builder.WriteTo(scratch.path() + "/a.zip");
  return ReadFile(scratch.path() + "/a.zip");
}

struct Parts {
  std::string directorySha256;
  std::map<std::string, std::string> entrySha256;
};

Parts HashesOf(const std::string& archive) {
  const ZipTail tail = *ParseZipTail(archive, archive.size());
  const std::string directory = archive.substr(tail.directoryOffset, tail.directoryBytes);
  Parts parts{Sha256Hex(directory), {}};
  const std::vector<ZipDirectoryEntry> entries = *ParseZipDirectory(directory, tail);
  for (const ZipDirectoryEntry& entry : entries) {
    parts.entrySha256[entry.name] =
        Sha256Hex(archive.substr(entry.spanStart, entry.spanEnd - entry.spanStart));
  }
  return parts;
}

struct DeltaCase {
  std::string name;
  // Changes the request (and the server) from the unsigned, well-served default.
  std::function<void(DeltaRequest&, HttpsTestServer&, const std::string& archive)> twist;
  std::string status;
};

class DeltaUpdate : public InTempDir, public testing::WithParamInterface<DeltaCase> {
 protected:
  void SetUp() override {
    const std::string installed = Archive("old contents\n");
    WriteFile("old.zip", installed);
    WriteFile("game/a.txt", CompressibleText(5000, 1));
    WriteFile("game/changed.txt", "old contents\n");
    WriteFile("game/b.bin", IncompressibleBytes(20000, 2));
    const std::optional<std::vector<ZipDirectoryEntry>> directory = ReadZipDirectoryOfFile("old.zip");
    ASSERT_TRUE(directory.has_value());
    ASSERT_TRUE(WritePackageManifest("game/.manifest", "game", *directory));
  }

  HttpsTestServer server;
};

TEST_P(DeltaUpdate, Outcome) {
  const std::string archive = Archive("new contents\n");
  server.Serve("/new.zip", archive);
  DeltaRequest request;
  request.url = server.Url("/new.zip");
  request.archiveBytes = archive.size();
  request.deltaPath = "new.zip.delta.zip";
  request.manifestPath = "game/.manifest";
  request.installDir = "game";
  GetParam().twist(request, server, archive);

  const DeltaOutcome outcome = RunDeltaUpdate(request);

  ASSERT_EQ(outcome.status, GetParam().status) << outcome.reason;
  if (outcome.status == "fallback") {
    EXPECT_FALSE(platform::PathExists("new.zip.delta.zip"));
    EXPECT_TRUE(outcome.directory.empty());
    return;
  }
  EXPECT_EQ(outcome.fetched, 1u);
  EXPECT_EQ(outcome.kept, 2u);
  EXPECT_EQ(outcome.directory.size(), 3u);
  const auto written = ReadZipDirectoryOfFile("new.zip.delta.zip");
  ASSERT_TRUE(written.has_value());
  ASSERT_EQ(written->size(), 1u);
  EXPECT_EQ((*written)[0].name, "changed.txt");
  // The small zip holds the entry's bytes exactly as the server's archive does.
  const ZipDirectoryEntry& served = outcome.directory[1];
  EXPECT_EQ(ReadFile("new.zip.delta.zip").substr(0, served.spanEnd - served.spanStart),
            archive.substr(served.spanStart, served.spanEnd - served.spanStart));
}

void Signed(DeltaRequest& request, const std::string& archive) {
  const Parts parts = HashesOf(archive);
  request.hashesRequired = true;
  request.directorySha256 = parts.directorySha256;
  request.entrySha256 = parts.entrySha256;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeltaUpdate,
    testing::Values(
        DeltaCase{"Unsigned", [](DeltaRequest&, HttpsTestServer&, const std::string&) {}, "succ"},
        DeltaCase{"SignedWithMatchingHashes",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string& a) { Signed(r, a); },
                  "succ"},
        DeltaCase{"SignedWithHashesInCapitals",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string& a) {
                    Signed(r, a);
                    for (char& c : r.directorySha256) c = static_cast<char>(std::toupper(c));
                  },
                  "succ"},
        DeltaCase{"DirectoryNotMatchingItsSignedHash",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string& a) {
                    Signed(r, a);
                    r.directorySha256[0] = r.directorySha256[0] == '0' ? '1' : '0';
                  },
                  "fallback"},
        DeltaCase{"EntryNotMatchingItsSignedHash",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string& a) {
                    Signed(r, a);
                    r.entrySha256["changed.txt"] = Sha256Hex("something else");
                  },
                  "fallback"},
        DeltaCase{"SignedWithoutTheFetchedEntrysHash",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string& a) {
                    Signed(r, a);
                    r.entrySha256.erase("changed.txt");
                  },
                  "fallback"},
        DeltaCase{"SignedWithoutADirectoryHash",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string& a) {
                    Signed(r, a);
                    r.directorySha256.clear();
                  },
                  "fallback"},
        DeltaCase{"NoManifest",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string&) {
                    r.manifestPath = "game/none";
                  },
                  "fallback"},
        DeltaCase{"SizeOtherThanStated",
                  [](DeltaRequest& r, HttpsTestServer&, const std::string&) { r.archiveBytes += 1; },
                  "fallback"},
        DeltaCase{"RangesIgnored",
                  [](DeltaRequest&, HttpsTestServer& s, const std::string& a) {
                    s.Serve("/new.zip", Reply::Body(a).IgnoringRange());
                  },
                  "fallback"},
        DeltaCase{"NotAZip",
                  [](DeltaRequest& r, HttpsTestServer& s, const std::string&) {
                    const std::string junk = IncompressibleBytes(40000, 9);
                    s.Serve("/new.zip", junk);
                    r.archiveBytes = junk.size();
                  },
                  "fallback"}),
    [](const testing::TestParamInfo<DeltaCase>& info) { return info.param.name; });

}  // namespace

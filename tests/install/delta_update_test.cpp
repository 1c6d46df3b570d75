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

void Signed(DeltaRequest& request, const std::string& archive);

struct DeltaCase {
  std::string name;
  // Changes the request (and the server) from the unsigned, well-served default.
  std::function<void(DeltaRequest&, HttpsTestServer&, const std::string& archive)> twist;
  std::string status;
  int packageRequests = 0;  // when not 0: the Range requests the update may make at most
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

  // The update of the installed game to the served archive.
  DeltaRequest Request(const std::string& archive) {
    server.Serve("/new.zip", archive);
    DeltaRequest request;
    request.url = server.Url("/new.zip");
    request.archiveBytes = archive.size();
    request.deltaPath = "new.zip.delta.zip";
    request.manifestPath = "game/.manifest";
    request.installDir = "game";
    return request;
  }

  HttpsTestServer server;
};

TEST_P(DeltaUpdate, Outcome) {
  const std::string archive = Archive("new contents\n");
  DeltaRequest request = Request(archive);
  GetParam().twist(request, server, archive);

  const DeltaOutcome outcome = RunDeltaUpdate(request);

  ASSERT_EQ(outcome.status, GetParam().status) << outcome.reason;
  if (GetParam().packageRequests > 0) {
    EXPECT_LE(server.RequestCount("/new.zip"), GetParam().packageRequests);
  }
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

// A run killed while the changed entry arrived left its first half in the small zip: the next
// run asks only for the rest, unless those bytes are not the entry's (then all of it again).
TEST_F(DeltaUpdate, KilledFetchResumesFromWhatTheSmallZipHolds) {
  const std::string archive = Archive(IncompressibleBytes(200000, 5));
  const ZipTail tail = *ParseZipTail(archive, archive.size());
  const ZipDirectoryEntry changed =
      (*ParseZipDirectory(archive.substr(tail.directoryOffset, tail.directoryBytes), tail))[1];
  const uint64_t half = (changed.spanEnd - changed.spanStart) / 2;
  for (const bool ours : {true, false}) {
    WriteFile("new.zip.delta.zip", ours ? archive.substr(changed.spanStart, half)
                                        : IncompressibleBytes(half, 6));
    server.ClearRequests();
    DeltaRequest request = Request(archive);
    Signed(request, archive);

    const DeltaOutcome outcome = RunDeltaUpdate(request);

    ASSERT_EQ(outcome.status, "succ") << outcome.reason;
    const uint64_t from = changed.spanStart + (ours ? half : 0);
    EXPECT_EQ(server.Requests().back().range,
              "bytes=" + std::to_string(from) + "-" + std::to_string(changed.spanEnd - 1));
    EXPECT_EQ(ReadFile("new.zip.delta.zip").substr(0, changed.spanEnd - changed.spanStart),
              archive.substr(changed.spanStart, changed.spanEnd - changed.spanStart));
  }
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
        DeltaCase{"EndRecordClaimingAHugeDirectory",
                  [](DeltaRequest& r, HttpsTestServer& s, const std::string&) {
                    // Three entries in a directory of the whole mebibyte before the end record.
                    const std::string forged = IncompressibleBytes(1 << 20, 9) +
                        std::string("PK\5\6\0\0\0\0\3\0\3\0\0\0\x10\0\0\0\0\0\0\0", 22);
                    s.Serve("/new.zip", forged);
                    r.archiveBytes = forged.size();
                  },
                  "fallback", 1},
        DeltaCase{"NotAZip",
                  [](DeltaRequest& r, HttpsTestServer& s, const std::string&) {
                    const std::string junk = IncompressibleBytes(40000, 9);
                    s.Serve("/new.zip", junk);
                    r.archiveBytes = junk.size();
                  },
                  "fallback"}),
    [](const testing::TestParamInfo<DeltaCase>& info) { return info.param.name; });

}  // namespace

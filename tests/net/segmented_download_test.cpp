// The package over byte ranges: resuming from the parts file, mirrors, servers without ranges,
// and the digests made on the way.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "install/file_digest.h"
#include "net/http_util.h"
#include "net/package_parts.h"
#include "platform/files.h"
#include "tests/support/https_test_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/transfer_recorder.h"

namespace {

using testing_support::HttpsTestServer;
using testing_support::PrefixFollower;
using testing_support::ReadFile;
using testing_support::Reply;
using testing_support::TransferRecorder;
using testing_support::WriteFile;

constexpr uint64_t kMiB = 1u << 20;
using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + i / 4093) & 0xFF);
  return bytes;
}

// The file a killed download leaves: the kept ranges in place, anything else in the gaps.
void LeaveKilledDownload(const std::string& path, const std::string& body, const Ranges& kept,
                         char gapByte) {
  PackageParts parts{body.size(), {}};
  std::string file;
  for (const auto& [start, end] : kept) {
    file.resize(end, gapByte);
    file.replace(start, end - start, body, start, end - start);
    parts.written.Add(start, end);
  }
  WriteFile(path, file);
  ASSERT_TRUE(SavePackageParts(path, parts));
}

// The ranges the server was asked for, as [start, end).
Ranges Asked(const HttpsTestServer& server) {
  Ranges asked;
  for (const auto& request : server.Requests()) {
    unsigned long long first = 0;
    unsigned long long last = 0;
    if (std::sscanf(request.range.c_str(), "bytes=%llu-%llu", &first, &last) == 2) {
      asked.emplace_back(first, last + 1);
    }
  }
  return asked;
}

class SegmentedDownload : public testing_support::InTempDir {
 protected:
  void Download(uint64_t resumeOffset, std::vector<std::string> mirrors = {}) {
    DownloadTask task;
    task.resumeOffset = resumeOffset;
    task.localPath = "pkg.zip";
    task.callback = recorder.Callback();
    task.url = server.Url("/pkg.zip");
    task.mirrorUrls = std::move(mirrors);
    task.maxBytes = body.size();
    task.wantSha256 = true;
    task.digests = [this](const DownloadDigests& made) { digests = made; };
    follower = PrefixFollower("pkg.zip");
    task.prefixWritten = follower.Callback();
    testing::internal::CaptureStdout();
    HttpUtil::DownloadPackage(task);
    log = testing::internal::GetCapturedStdout();
  }

  void ExpectWholePackage() {
    EXPECT_EQ(recorder.Final().event, "succ") << recorder.Final().message;
    EXPECT_TRUE(ReadFile("pkg.zip") == body);
    EXPECT_FALSE(platform::PathExists(PackagePartsPath("pkg.zip")));
    ASSERT_TRUE(digests.has_value());
    WriteFile("expected.bin", body);
    EXPECT_EQ(digests->md5, FileMd5("expected.bin"));
    EXPECT_EQ(digests->sha256, FileSha256("expected.bin"));
    follower.ExpectFollowed(body.size());
  }

  const std::string body = Pattern(20 * kMiB + 12345);
  HttpsTestServer server;
  TransferRecorder recorder;
  std::optional<DownloadDigests> digests;
  PrefixFollower follower{"pkg.zip"};
  std::string log;
};

TEST_F(SegmentedDownload, ResumeAsksOnlyForWhatTheKilledRunLacked) {
  struct Case {
    const char* name;
    Ranges kept;
    bool partsFile;
  };
  for (const Case& c : {Case{"pieces ahead of the prefix", {{0, 3 * kMiB}, {9 * kMiB, 12 * kMiB + 7}}, true},
                        Case{"a prefix", {{0, 5 * kMiB + 1}}, true},
                        Case{"no prefix yet", {{8 * kMiB, 9 * kMiB}}, true},
                        Case{"an earlier launcher's prefix", {{0, 7 * kMiB}}, false}}) {
    SCOPED_TRACE(c.name);
    recorder = TransferRecorder();
    digests.reset();
    server.ClearRequests();
    server.Serve("/pkg.zip", body);
    LeaveKilledDownload("pkg.zip", body, c.kept, 'Z');
    if (!c.partsFile) platform::RemoveFile(PackagePartsPath("pkg.zip"));
    uint64_t kept = 0;
    for (const auto& [start, end] : c.kept) kept += end - start;

    Download(kept);

    ExpectWholePackage();
    uint64_t fetched = 0;
    for (const auto& [start, end] : Asked(server)) {
      fetched += end - start;
      for (const auto& [keptStart, keptEnd] : c.kept) {
        EXPECT_TRUE(end <= keptStart || start >= keptEnd) << start << "-" << end;
      }
    }
    EXPECT_EQ(fetched, body.size() - kept);
    const auto progress = recorder.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().first + static_cast<double>(kept), static_cast<double>(body.size()));
  }
}

// The digests describe the file as written, its kept bytes read once from the disk: a kept
// prefix that is wrong shows in them rather than being taken on trust.
TEST_F(SegmentedDownload, DigestsFollowTheFileAcrossAResume) {
  server.Serve("/pkg.zip", Reply::Body(body).DroppingAt(11 * kMiB + 99));
  Download(0);
  ASSERT_EQ(recorder.Final().event, "fail");
  const std::optional<uint64_t> kept = KeptPackageBytes("pkg.zip", body.size());
  ASSERT_EQ(kept, 11 * kMiB + 99);

  recorder = TransferRecorder();
  server.ClearRequests();
  server.Serve("/pkg.zip", body);
  Download(*kept);
  ExpectWholePackage();
  EXPECT_EQ(Asked(server).front().first, *kept);

  // Damaged kept bytes: the download succeeds, and its digests are the damaged file's.
  recorder = TransferRecorder();
  LeaveKilledDownload("pkg.zip", body, {{0, 4 * kMiB}}, 'Z');
  std::string damaged = ReadFile("pkg.zip");
  damaged[1000] ^= 0x5A;
  WriteFile("pkg.zip", damaged);
  Download(4 * kMiB);
  EXPECT_EQ(recorder.Final().event, "succ");
  ASSERT_TRUE(digests.has_value());
  EXPECT_EQ(digests->md5, FileMd5("pkg.zip"));
  EXPECT_NE(digests->md5, FileMd5("expected.bin"));
}

TEST_F(SegmentedDownload, MirrorFailingMidDownloadHandsItsRangesToTheOthers) {
  HttpsTestServer mirror;
  struct Case {
    const char* name;
    Reply mirrorReply;
    bool succeeds;
  };
  for (const Case& c : {Case{"healthy mirror", Reply::Body(body), true},
                        Case{"mirror failing as well", Reply::Body(body).DroppingAt(15 * kMiB), false}}) {
    SCOPED_TRACE(c.name);
    recorder = TransferRecorder();
    digests.reset();
    platform::RemoveFile(PackagePartsPath("pkg.zip"));
    server.Serve("/pkg.zip", Reply::Body(body).DroppingAt(5 * kMiB));
    mirror.Serve("/pkg.zip", c.mirrorReply);
    mirror.ClearRequests();

    Download(0, {mirror.Url("/pkg.zip")});

    if (c.succeeds) {
      ExpectWholePackage();
      // The rest of the piece the server dropped (the mirror may have had pieces of its own
      // before it).
      const Ranges asked = Asked(mirror);
      EXPECT_TRUE(std::any_of(asked.begin(), asked.end(),
                              [](const auto& range) { return range.first == 5 * kMiB; }));
    } else {
      EXPECT_EQ(recorder.Final().event, "fail");
      EXPECT_EQ(KeptPackageBytes("pkg.zip", body.size()), 15 * kMiB);
    }
    EXPECT_EQ(recorder.Finals().size(), 1u);
  }
}

// A server that stopped honouring ranges since the killed run: the one-connection road fetches
// the whole package into a file started over, and a reader is never told of the kept bytes it
// writes over.
TEST_F(SegmentedDownload, ServerIgnoringRangeGetsTheWholePackageOverOneConnection) {
  server.Serve("/pkg.zip", Reply::Body(body).IgnoringRange());
  LeaveKilledDownload("pkg.zip", body, {{0, 2 * kMiB}, {6 * kMiB, 8 * kMiB}}, 'Z');

  Download(4 * kMiB);

  ExpectWholePackage();
  EXPECT_EQ(server.Requests().back().range, "");
}

// A busy server's Retry-After is waited out, and the same range is asked again.
TEST_F(SegmentedDownload, BusyServerIsAskedAgainAfterItsRetryAfter) {
  std::atomic<int> answered{0};
  server.Handle("/pkg.zip", [&](const httplib::Request&, httplib::Response& response) {
    if (answered++ == 0) {
      response.status = 503;
      response.set_header("Retry-After", "1");
      response.set_content("busy", "text/plain");
      return;
    }
    response.set_content(body, "application/octet-stream");
  });

  Download(0);

  ExpectWholePackage();
  const auto requests = server.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].range, requests[1].range);
  for (const auto& request : requests) EXPECT_NE(request.range, "");
}

}  // namespace

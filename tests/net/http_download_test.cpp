// Downloads against the loopback HTTPS server: events, files on disk, log lines.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "install/file_digest.h"
#include "net/http_util.h"
#include "tests/support/https_test_server.h"
#include "tests/support/plain_http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/transfer_recorder.h"

namespace {

using namespace std::chrono_literals;
using testing_support::HttpsTestServer;
using testing_support::PrefixFollower;
using testing_support::ReadFile;
using testing_support::Reply;
using testing_support::TransferEvent;
using testing_support::TransferRecorder;
using testing_support::WriteFile;

// Bytes that differ from position to position, so a misplaced slice shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

enum class Road { OneConnection, Package };

class HttpDownload : public testing_support::InTempDir {
 protected:
  static void Run(Road road, const DownloadTask& task) {
    testing::internal::CaptureStdout();
    road == Road::Package ? HttpUtil::DownloadPackage(task) : HttpUtil::DownloadFile(task);
    testing::internal::GetCapturedStdout();
  }

  // Runs the download with stdout captured; returns what it printed.
  std::string Download(uint64_t resumeOffset, const std::string& localPath,
                       const std::string& url, std::optional<uint64_t> maxBytes = std::nullopt) {
    DownloadTask task;
    task.maxBytes = maxBytes;
    task.resumeOffset = resumeOffset;
    task.localPath = localPath;
    task.callback = recorder.Callback();
    task.url = url;
    testing::internal::CaptureStdout();
    HttpUtil::DownloadPackage(task);
    return testing::internal::GetCapturedStdout();
  }

  std::string FailText(int code, long status) {
    return "curl perform fail, curl_code " + std::to_string(code) + " (" +
           curl_easy_strerror(static_cast<CURLcode>(code)) + "), ret_code " +
           std::to_string(status);
  }

  HttpsTestServer server;
  TransferRecorder recorder;
};

// The one-connection road hashes what it writes and tells a reader of each MiB on the disk: on
// its own, and where the package road hands over to it.
TEST_F(HttpDownload, OneConnectionDigestsDescribeTheFileAsItEnds) {
  constexpr uint64_t kMiB = 1u << 20;
  const std::string body = Pattern(3 * kMiB + 4321);
  std::string damaged = body.substr(0, kMiB + 7);
  damaged[500] ^= 0x5A;
  struct Case {
    const char* name;
    Road road;
    Reply reply;
    std::string kept;
    std::optional<uint64_t> maxBytes;
    std::string finalFile;  // empty: the download fails and makes no digests
  };
  for (const Case& c :
       {Case{"fresh", Road::OneConnection, Reply::Body(body), "", body.size(), body},
        // The kept bytes are read, not taken on trust: the digests show the damage.
        Case{"resumed over damaged bytes", Road::OneConnection, Reply::Body(body), damaged,
             std::nullopt, damaged + body.substr(damaged.size())},
        Case{"range ignored: started over", Road::Package, Reply::Body(body).IgnoringRange(),
             std::string(kMiB + 99, 'Z'), body.size(), body},
        Case{"found complete", Road::OneConnection, Reply::Body(body).IgnoringRange(), body,
             body.size(), body},
        Case{"over the stated size", Road::Package, Reply::Body(body + "tail").IgnoringRange(),
             "", body.size(), ""}}) {
    SCOPED_TRACE(c.name);
    server.Serve("/pkg.zip", c.reply);
    WriteFile("pkg.zip", c.kept);
    TransferRecorder local;
    PrefixFollower follower("pkg.zip");
    std::optional<DownloadDigests> digests;
    DownloadTask task;
    task.resumeOffset = c.kept.size();
    task.localPath = "pkg.zip";
    task.callback = local.Callback();
    task.url = server.Url("/pkg.zip");
    task.maxBytes = c.maxBytes;
    task.wantSha256 = true;
    task.digests = [&](const DownloadDigests& made) { digests = made; };
    task.prefixWritten = follower.Callback();
    Run(c.road, task);
    if (c.finalFile.empty()) {
      EXPECT_EQ(local.Final().event, "fail");
      EXPECT_FALSE(digests.has_value());
      continue;
    }
    ASSERT_EQ(local.Final().event, "succ") << local.Final().message;
    ASSERT_TRUE(ReadFile("pkg.zip") == c.finalFile);
    ASSERT_TRUE(digests.has_value());
    WriteFile("expected.bin", c.finalFile);
    EXPECT_EQ(digests->md5, FileMd5("expected.bin"));
    EXPECT_EQ(digests->sha256, FileSha256("expected.bin"));
    follower.ExpectFollowed(c.finalFile.size());
    if (c.kept.empty()) {
      EXPECT_GE(follower.TimesTold(), 3u);
    }
  }
}

// A stream's last bytes reach the disk at its close; a package they never reached is no success.
TEST_F(HttpDownload, PackageTheDiskRefusesFailsOnEitherRoad) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no device that is always full";
  std::filesystem::create_symlink("/dev/full", "pkg.zip");
  server.Serve("/pkg.zip", Pattern(100));
  for (const Road road : {Road::OneConnection, Road::Package}) {
    TransferRecorder local;
    DownloadTask task;
    task.localPath = "pkg.zip";
    task.callback = local.Callback();
    task.url = server.Url("/pkg.zip");
    Run(road, task);
    EXPECT_EQ(local.Final().event, "fail");
    EXPECT_NE(local.Final().message.find("can not write local file pkg.zip"), std::string::npos)
        << local.Final().message;
  }
}

TEST_F(HttpDownload, FreshFileReceivesBodyWithProgressThenSucc) {
  const std::string body = Pattern(300000);
  server.Serve("/pkg.zip", body);

  const std::string log = Download(0, "pkg.zip", server.Url("/pkg.zip"));

  EXPECT_EQ(ReadFile("pkg.zip"), body);
  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "succ");
  EXPECT_EQ(last.message, "");
  EXPECT_EQ(last.first, 0);
  EXPECT_EQ(last.second, 0);
  const auto progress = recorder.Progress();
  ASSERT_FALSE(progress.empty());
  double previous = 0;
  for (const TransferEvent& e : progress) {
    EXPECT_EQ(e.message, "");
    EXPECT_EQ(e.second, static_cast<double>(body.size()));
    EXPECT_GE(e.first, previous);
    previous = e.first;
  }
  EXPECT_EQ(progress.back().first, static_cast<double>(body.size()));
  EXPECT_EQ(log, "download succ from " + server.Url("/pkg.zip") + " to pkg.zip");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].range, "bytes=0-8388607");
}

TEST_F(HttpDownload, ZeroOffsetReplacesAnExistingFile) {
  const std::string body = Pattern(5000);
  server.Serve("/pkg.zip", body);
  WriteFile("pkg.zip", std::string(20000, 'Z'));

  Download(0, "pkg.zip", server.Url("/pkg.zip"));

  EXPECT_EQ(recorder.Final().event, "succ");
  EXPECT_EQ(ReadFile("pkg.zip"), body);
}

TEST_F(HttpDownload, ResumeAsksForTheRestAndAppendsThe206Body) {
  const std::string body = Pattern(400000);
  const size_t kept = 150000;
  server.Serve("/pkg.zip", body);
  WriteFile("pkg.zip", body.substr(0, kept));

  Download(kept, "pkg.zip", server.Url("/pkg.zip"));

  EXPECT_EQ(recorder.Final().event, "succ");
  EXPECT_EQ(ReadFile("pkg.zip"), body);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].range, "bytes=150000-8538607");
  // Progress counts this transfer only; the consumer adds the kept bytes.
  const auto progress = recorder.Progress();
  ASSERT_FALSE(progress.empty());
  for (const TransferEvent& e : progress) EXPECT_EQ(e.second, static_cast<double>(body.size() - kept));
  EXPECT_EQ(progress.back().first, static_cast<double>(body.size() - kept));
}

TEST_F(HttpDownload, ServerIgnoringTheRangeGetsTheFileRewrittenFromItsFirstByte) {
  const std::string body = Pattern(400000);
  const size_t kept = 100000;
  server.Serve("/pkg.zip", Reply::Body(body).IgnoringRange());
  // Kept bytes that do not match prove that the file was written again from byte 0.
  WriteFile("pkg.zip", std::string(kept, 'Z'));

  Download(kept, "pkg.zip", server.Url("/pkg.zip"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "succ") << last.message;
  EXPECT_EQ(ReadFile("pkg.zip"), body);
  // Progress plus the offset never claims more than the file holds, never runs backwards,
  // and ends at the whole body.
  const auto progress = recorder.Progress();
  ASSERT_FALSE(progress.empty());
  double previousDone = 0;
  for (const TransferEvent& e : progress) {
    const double done = static_cast<double>(kept) + e.first;
    EXPECT_GE(e.first, 0);
    EXPECT_GE(done, previousDone);
    EXPECT_LE(done, static_cast<double>(body.size()));
    previousDone = done;
  }
  EXPECT_EQ(previousDone, static_cast<double>(body.size()));
}

TEST_F(HttpDownload, FileAlreadyCompleteAnswered200CountsAsSucc) {
  const std::string body = Pattern(7000);
  server.Serve("/pkg.zip", Reply::Body(body).IgnoringRange());
  WriteFile("pkg.zip", body);

  Download(body.size(), "pkg.zip", server.Url("/pkg.zip"));

  EXPECT_EQ(recorder.Final().event, "succ");
  EXPECT_EQ(ReadFile("pkg.zip"), body);
}

TEST_F(HttpDownload, NotFoundFailsWithNoCurlErrorAndTheStatus) {
  server.Serve("/pkg.zip", Reply::Status(404, "gone"));

  const std::string log = Download(0, "pkg.zip", server.Url("/pkg.zip"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "fail");
  EXPECT_EQ(last.message, "curl perform fail, curl_code 0 (No error), ret_code 404");
  EXPECT_EQ(last.first, 0);
  EXPECT_EQ(last.second, 404);
  EXPECT_EQ(log, "curl perform fail, curl_code 0 (No error), ret_code 404");
}

TEST_F(HttpDownload, ServerErrorFails) {
  server.Serve("/pkg.zip", Reply::Status(500, "oops"));

  Download(0, "pkg.zip", server.Url("/pkg.zip"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "fail");
  EXPECT_EQ(last.second, 500);
}

TEST_F(HttpDownload, BodyWithoutLengthReportsNoProgress) {
  const std::string body = Pattern(200000);
  server.Serve("/pkg.zip", Reply::Body(body).Chunked());

  Download(0, "pkg.zip", server.Url("/pkg.zip"));

  EXPECT_EQ(recorder.Events().size(), 1u);
  EXPECT_EQ(recorder.Final().event, "succ");
  EXPECT_EQ(ReadFile("pkg.zip"), body);
}

TEST_F(HttpDownload, RedirectIsFollowed) {
  const std::string body = Pattern(3000);
  server.Serve("/old/pkg.zip", Reply::Redirect(server.Url("/new/pkg.zip")));
  server.Serve("/new/pkg.zip", body);

  Download(0, "pkg.zip", server.Url("/old/pkg.zip"));

  EXPECT_EQ(recorder.Final().event, "succ");
  EXPECT_EQ(ReadFile("pkg.zip"), body);
  EXPECT_EQ(server.RequestedPaths(), (std::vector<std::string>{"/old/pkg.zip", "/new/pkg.zip"}));
}

TEST_F(HttpDownload, LocalFileThatCannotBeOpenedFailsWithoutTouchingTheNetwork) {
  server.Serve("/pkg.zip", Pattern(100));

  Download(0, "no-such-dir/pkg.zip", server.Url("/pkg.zip"));
  Download(5, "no-such-dir/pkg.zip", server.Url("/pkg.zip"));

  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 2u);
  for (const TransferEvent& e : events) {
    EXPECT_EQ(e.event, "fail");
    EXPECT_EQ(e.message, "can not open local file no-such-dir/pkg.zip");
    EXPECT_EQ(e.first, 0);
    EXPECT_EQ(e.second, 0);
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(HttpDownload, ConnectionDroppedMidBodyFailsAndKeepsWhatArrived) {
  const std::string body = Pattern(300000);
  server.Serve("/pkg.zip", Reply::Body(body).DroppingAt(100000));

  const std::string log = Download(0, "pkg.zip", server.Url("/pkg.zip"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "fail");
  EXPECT_EQ(last.first, CURLE_PARTIAL_FILE);
  EXPECT_EQ(last.second, 206);
  EXPECT_EQ(last.message, FailText(CURLE_PARTIAL_FILE, 206));
  EXPECT_EQ(log, last.message);
  EXPECT_EQ(ReadFile("pkg.zip"), body.substr(0, 100000));
}

TEST_F(HttpDownload, UntrustedCertificateFailsWithTheTlsError) {
  HttpsTestServer untrusted(testing_support::CertificateAuthority::Generate("Untrusted CA"));
  untrusted.Serve("/pkg.zip", Pattern(100));

  Download(0, "pkg.zip", untrusted.Url("/pkg.zip"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "fail");
  EXPECT_EQ(last.first, CURLE_PEER_FAILED_VERIFICATION);
  EXPECT_EQ(last.second, 0);
  EXPECT_EQ(last.message, FailText(CURLE_PEER_FAILED_VERIFICATION, 0));
  EXPECT_TRUE(untrusted.Requests().empty());
  EXPECT_EQ(ReadFile("pkg.zip"), "");
}

// Takes the five seconds of libcurl's low-speed rule.
TEST_F(HttpDownload, StallMidBodyEndsThroughTheLowSpeedRule) {
  const std::string body = Pattern(200000);
  server.Serve("/pkg.zip", Reply::Body(body).StallingAt(50000, 30s));

  const auto start = std::chrono::steady_clock::now();
  Download(0, "pkg.zip", server.Url("/pkg.zip"));
  const auto elapsed = std::chrono::steady_clock::now() - start;

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "fail");
  EXPECT_EQ(last.first, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(last.second, 206);
  EXPECT_GE(elapsed, 4s);
  EXPECT_LT(elapsed, 20s);
  EXPECT_EQ(ReadFile("pkg.zip"), body.substr(0, 50000));
}

// The package's stated size bounds the file: a longer body is written up to it and fails there,
// with or without a length, fresh or resumed; a body of exactly that size is a success.
TEST_F(HttpDownload, BodyRunningPastTheStatedSizeFailsWithTheFileFilledToIt) {
  constexpr uint64_t kStated = 300000;
  const std::string body = Pattern(kStated + 70000);
  struct Case {
    const char* name;
    Reply reply;
    uint64_t kept;
  };
  for (const Case& c : {Case{"length", Reply::Body(body), 0},
                        Case{"chunked", Reply::Body(body).Chunked(), 0},
                        Case{"resumed", Reply::Body(body), 120000}}) {
    SCOPED_TRACE(c.name);
    TransferRecorder local;
    server.Serve("/pkg.zip", c.reply);
    WriteFile("pkg.zip", body.substr(0, c.kept));
    DownloadTask task;
    task.resumeOffset = c.kept;
    task.localPath = "pkg.zip";
    task.callback = local.Callback();
    task.url = server.Url("/pkg.zip");
    task.maxBytes = kStated;
    testing::internal::CaptureStdout();
    HttpUtil::DownloadPackage(task);
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(local.Final().event, "fail");
    EXPECT_EQ(local.Final().message,
              "curl perform fail, curl_code 23 (package larger than its 300000 bytes), ret_code " +
                  std::string(c.kept != 0 ? "206" : "200"));
    EXPECT_TRUE(ReadFile("pkg.zip") == body.substr(0, kStated));
  }
}

TEST_F(HttpDownload, BodyOfExactlyTheStatedSizeSucceeds) {
  const std::string body = Pattern(250000);
  server.Serve("/pkg.zip", Reply::Body(body).Chunked());
  Download(0, "pkg.zip", server.Url("/pkg.zip"), body.size());
  EXPECT_EQ(recorder.Final().event, "succ");
  EXPECT_TRUE(ReadFile("pkg.zip") == body);

  // Rewritten from byte 0 when the range is ignored: the kept bytes do not count twice.
  TransferRecorder restarted;
  server.Serve("/again.zip", Reply::Body(body).IgnoringRange());
  WriteFile("again.zip", std::string(100000, 'Z'));
  DownloadTask task;
  task.resumeOffset = 100000;
  task.localPath = "again.zip";
  task.callback = restarted.Callback();
  task.url = server.Url("/again.zip");
  task.maxBytes = body.size();
  testing::internal::CaptureStdout();
  HttpUtil::DownloadPackage(task);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(restarted.Final().event, "succ") << restarted.Final().message;
  EXPECT_TRUE(ReadFile("again.zip") == body);
}

TEST_F(HttpDownload, RedirectToPlainHttpIsRefused) {
  testing_support::PlainHttpServer plain(Pattern(3000));
  server.Serve("/pkg.zip", Reply::Redirect(plain.Url("/pkg.zip")));

  Download(0, "pkg.zip", server.Url("/pkg.zip"));

  EXPECT_EQ(recorder.Final().event, "fail");
  EXPECT_EQ(recorder.Final().message, FailText(CURLE_UNSUPPORTED_PROTOCOL, 302));
  EXPECT_EQ(plain.RequestCount(), 0);
}

}  // namespace

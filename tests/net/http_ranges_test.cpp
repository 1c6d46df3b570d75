// Byte ranges of one object against the loopback HTTPS server: what reaches the sink, over how
// many connections, and what a server that does not honour the range or drops the connection
// leads to.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "net/http_util.h"
#include "tests/support/https_test_server.h"
#include "tests/support/transfer_recorder.h"

namespace {

using testing_support::HttpsTestServer;
using testing_support::RecordedRequest;
using testing_support::Reply;
using testing_support::TransferEvent;
using testing_support::TransferRecorder;
using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + i / 241) & 0xFF);
  return bytes;
}

const std::string kObject = Pattern(600000);

class HttpRanges : public testing::Test {
 protected:
  // Runs the fetch; the pieces land at their offsets in `received`, each offset checked to
  // follow the previous piece.
  void Fetch(const Ranges& ranges, std::optional<uint64_t> objectBytes = kObject.size()) {
    RangeTask task;
    task.url = server.Url("/pkg.zip");
    task.ranges = ranges;
    task.objectBytes = objectBytes;
    task.callback = recorder.Callback();
    task.sink = [this](uint64_t offset, std::string_view bytes) {
      if (refuse) return false;
      if (!pieces.empty() && pieces.back().first + pieces.back().second.size() != offset &&
          !startsOfRanges.contains(offset)) {
        outOfOrder = true;
      }
      pieces.emplace_back(offset, std::string(bytes));
      return true;
    };
    for (const auto& range : ranges) startsOfRanges.insert(range.first);
    HttpUtil::FetchRanges(task);
  }

  // The bytes received for [start, end), joined.
  std::string ReceivedIn(uint64_t start, uint64_t end) const {
    std::string bytes;
    for (const auto& [offset, piece] : pieces) {
      if (offset >= start && offset < end) bytes += piece;
    }
    return bytes;
  }

  std::vector<std::string> RangeHeaders() const {
    std::vector<std::string> headers;
    for (const RecordedRequest& request : server.Requests()) headers.push_back(request.range);
    return headers;
  }

  HttpsTestServer server;
  TransferRecorder recorder;
  std::vector<std::pair<uint64_t, std::string>> pieces;
  std::set<uint64_t> startsOfRanges;
  bool outOfOrder = false;
  bool refuse = false;
};

TEST_F(HttpRanges, EachRangeArrivesAtItsOffsetOverOneConnection) {
  server.Serve("/pkg.zip", kObject);
  const Ranges ranges{{0, 22}, {1000, 250000}, {400000, 400001}, {599000, 600000}};

  Fetch(ranges);

  ASSERT_EQ(recorder.Final().event, "succ") << recorder.Final().message;
  EXPECT_FALSE(outOfOrder);
  uint64_t total = 0;
  for (const auto& [start, end] : ranges) {
    EXPECT_EQ(ReceivedIn(start, end), kObject.substr(start, end - start)) << start;
    total += end - start;
  }
  EXPECT_EQ(RangeHeaders(), (std::vector<std::string>{"bytes=0-21", "bytes=1000-249999",
                                                      "bytes=400000-400000", "bytes=599000-599999"}));
  const std::vector<RecordedRequest> requests = server.Requests();
  for (const RecordedRequest& request : requests) EXPECT_EQ(request.remotePort, requests[0].remotePort);
  // Progress counts the bytes of all ranges together.
  const auto progress = recorder.Progress();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().first, static_cast<double>(total));
  for (const TransferEvent& e : progress) EXPECT_EQ(e.second, static_cast<double>(total));
}

TEST_F(HttpRanges, ACutConnectionIsAskedForTheRestOfTheRange) {
  server.Serve("/pkg.zip", std::vector<Reply>{Reply::Body(kObject), Reply::Body(kObject).DroppingAt(300000),
                                              Reply::Body(kObject).DroppingAt(350000),
                                              Reply::Body(kObject)});
  const Ranges ranges{{10, 20}, {200000, 500000}};

  Fetch(ranges);

  ASSERT_EQ(recorder.Final().event, "succ") << recorder.Final().message;
  EXPECT_FALSE(outOfOrder);
  EXPECT_EQ(ReceivedIn(200000, 500000), kObject.substr(200000, 300000));
  const std::vector<std::string> headers = RangeHeaders();
  ASSERT_EQ(headers.size(), 4u);
  EXPECT_EQ(headers[1], "bytes=200000-499999");
  // Whatever arrived before the cut is kept: the next request starts after it.
  EXPECT_EQ(headers[2].substr(0, 6), "bytes=");
  EXPECT_GT(std::stoull(headers[2].substr(6)), 200000u);
  EXPECT_LE(std::stoull(headers[2].substr(6)), 300000u);
  EXPECT_GT(std::stoull(headers[3].substr(6)), std::stoull(headers[2].substr(6)));
}

TEST_F(HttpRanges, AConnectionCutBeforeAnyByteEveryTimeFails) {
  server.Serve("/pkg.zip", Reply::Body(kObject).DroppingAt(100));
  Fetch({{200, 300}});
  EXPECT_EQ(recorder.Final().event, "fail");
  EXPECT_EQ(server.RequestCount("/pkg.zip"), 3);
  EXPECT_TRUE(pieces.empty());
}

// A handler that answers 206 with the given Content-Range, whatever was asked.
HttpsTestServer::Handler PartialWith(const std::string& contentRange, const std::string& body) {
  return [contentRange, body](const httplib::Request& request, httplib::Response& response) {
    // The library would slice the body to the range asked and state that range itself.
    const_cast<httplib::Request&>(request).ranges.clear();
    response.status = 206;
    response.set_header("Content-Range", contentRange);
    response.set_content(body, "application/octet-stream");
  };
}

struct NotHonouredCase {
  std::string name;
  std::function<void(HttpsTestServer&)> serve;
  std::optional<uint64_t> objectBytes;
  std::string outcome;
};

class HttpRangesNotHonoured : public HttpRanges,
                              public testing::WithParamInterface<NotHonouredCase> {};

TEST_P(HttpRangesNotHonoured, NothingReachesTheSink) {
  GetParam().serve(server);
  Fetch({{100, 200}, {300, 400}}, GetParam().objectBytes);
  EXPECT_EQ(recorder.Final().event, GetParam().outcome) << recorder.Final().message;
  EXPECT_TRUE(pieces.empty());
  EXPECT_EQ(server.RequestCount("/pkg.zip"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpRangesNotHonoured,
    testing::Values(
        NotHonouredCase{"WholeObjectWith200",
                        [](HttpsTestServer& s) { s.Serve("/pkg.zip", Reply::Body(kObject).IgnoringRange()); },
                        kObject.size(), "rangeIgnored"},
        NotHonouredCase{"AnotherRange",
                        [](HttpsTestServer& s) {
                          s.Handle("/pkg.zip", PartialWith("bytes 0-99/600000", kObject.substr(0, 100)));
                        },
                        kObject.size(), "rangeIgnored"},
        NotHonouredCase{"AnotherObjectSize",
                        [](HttpsTestServer& s) { s.Serve("/pkg.zip", Pattern(700000)); },
                        kObject.size(), "rangeIgnored"},
        NotHonouredCase{"NoContentRange",
                        [](HttpsTestServer& s) {
                          s.Handle("/pkg.zip", PartialWith("", kObject.substr(100, 100)));
                        },
                        std::nullopt, "rangeIgnored"},
        NotHonouredCase{"NotFound", [](HttpsTestServer&) {}, kObject.size(), "fail"},
        NotHonouredCase{"EmptyBodyWith200",
                        [](HttpsTestServer& s) { s.Serve("/pkg.zip", Reply::Status(200).IgnoringRange()); },
                        std::nullopt, "rangeIgnored"}),
    [](const testing::TestParamInfo<NotHonouredCase>& info) { return info.param.name; });

TEST_F(HttpRanges, ASinkThatRefusesStopsTheFetch) {
  server.Serve("/pkg.zip", kObject);
  RangeTask task;
  task.url = server.Url("/pkg.zip");
  task.ranges = {{0, 300000}, {400000, 500000}};
  task.objectBytes = kObject.size();
  task.callback = recorder.Callback();
  task.sink = [](uint64_t, std::string_view) { return false; };
  HttpUtil::FetchRanges(task);
  EXPECT_EQ(recorder.Final().event, "fail");
  EXPECT_EQ(server.RequestCount("/pkg.zip"), 1);
}

// Past a few MiB the ranges come in pieces over as many connections as pay; the sink still
// takes every byte once and in order, whatever the server does.
const std::string& Large() {
  static const std::string bytes = Pattern(20u << 20);
  return bytes;
}

// Serves Large(), cutting the first answer that reaches `at` there.
void ServeCuttingOnceAt(HttpsTestServer& server, uint64_t at) {
  auto cut = std::make_shared<std::atomic<bool>>(false);
  server.Handle("/pkg.zip", [cut, at](const httplib::Request& request, httplib::Response& response) {
    testing_support::CutRangesAt(request, Large().size());
    response.set_content_provider(
        Large().size(), "application/octet-stream",
        [cut, at](size_t offset, size_t length, httplib::DataSink& sink) {
          const bool cutHere = offset <= at && at < offset + length && !cut->exchange(true);
          const size_t end = cutHere ? at : offset + length;
          if (end > offset && !sink.write(Large().data() + offset, end - offset)) return false;
          return !cutHere;
        });
  });
}

struct SideBySideCase {
  std::string name;
  std::function<void(HttpsTestServer&)> serve;
  std::optional<uint64_t> objectBytes;
  bool sinkRefuses;
  std::string outcome;
};

class HttpRangesSideBySide : public HttpRanges, public testing::WithParamInterface<SideBySideCase> {};

TEST_P(HttpRangesSideBySide, SinkGetsEveryByteOnceInOrderOrTheFetchEnds) {
  const SideBySideCase& c = GetParam();
  c.serve(server);
  refuse = c.sinkRefuses;
  const Ranges ranges{{100, 5u << 20}, {(6u << 20) + 3, (17u << 20) + 7}, {(20u << 20) - 10, 20u << 20}};
  Fetch(ranges, c.objectBytes);

  EXPECT_EQ(recorder.Final().event, c.outcome) << recorder.Final().message;
  if (c.outcome != "succ") {
    if (c.sinkRefuses) {
      EXPECT_EQ(pieces.size(), 0u);
    }
    return;
  }
  EXPECT_FALSE(outOfOrder);
  uint64_t total = 0;
  for (const auto& [start, end] : ranges) {
    EXPECT_TRUE(ReceivedIn(start, end) == Large().substr(start, end - start)) << start;
    total += end - start;
  }
  EXPECT_GT(server.RequestCount("/pkg.zip"), 3);
  const auto progress = recorder.Progress();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().first, static_cast<double>(total));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpRangesSideBySide,
    testing::Values(
        SideBySideCase{"Whole", [](HttpsTestServer& s) { s.Serve("/pkg.zip", Large()); },
                       Large().size(), false, "succ"},
        SideBySideCase{"CutMidPieceIsAskedForTheRest",
                       [](HttpsTestServer& s) { ServeCuttingOnceAt(s, (9u << 20) + 12345); },
                       Large().size(), false, "succ"},
        SideBySideCase{"WholeObjectWith200",
                       [](HttpsTestServer& s) { s.Serve("/pkg.zip", Reply::Body(Large()).IgnoringRange()); },
                       Large().size(), false, "rangeIgnored"},
        SideBySideCase{"AnotherObjectSize",
                       [](HttpsTestServer& s) { s.Serve("/pkg.zip", Pattern(21u << 20)); },
                       Large().size(), false, "rangeIgnored"},
        SideBySideCase{"NotFound", [](HttpsTestServer&) {}, Large().size(), false, "fail"},
        SideBySideCase{"SinkRefuses", [](HttpsTestServer& s) { s.Serve("/pkg.zip", Large()); },
                       Large().size(), true, "fail"}),
    [](const testing::TestParamInfo<SideBySideCase>& info) { return info.param.name; });

}  // namespace

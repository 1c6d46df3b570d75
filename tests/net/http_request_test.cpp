// Requests against the loopback HTTPS server: status mapping, the POST rule, log lines.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "net/http_util.h"
#include "tests/support/https_test_server.h"
#include "tests/support/plain_http_server.h"
#include "tests/support/transfer_recorder.h"

namespace {

using namespace std::chrono_literals;
using testing_support::HttpsTestServer;
using testing_support::Reply;
using testing_support::TransferEvent;
using testing_support::TransferRecorder;

class HttpRequest : public ::testing::Test {
 protected:
  // Runs the request with stdout captured; returns what it printed.
  std::string Request(const std::string& url, const std::string& body = "",
                      const std::string& method = "GET") {
    testing::internal::CaptureStdout();
    HttpUtil::Request(url, body, recorder.Callback(), method, 5);
    return testing::internal::GetCapturedStdout();
  }

  static std::string FailText(long status, CURLcode code) {
    return "curl perform fail, ret_code is " + std::to_string(status) + " (" +
           curl_easy_strerror(code) + ")";
  }

  HttpsTestServer server;
  TransferRecorder recorder;
};

TEST_F(HttpRequest, OkAnswerDeliversTheBodyAsSucc) {
  server.Serve("/config.json", R"({"lastVersion":"1.0.2"})");
  const std::string url = server.Url("/config.json?rand=42");

  const std::string log = Request(url);

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "succ");
  EXPECT_EQ(last.message, R"({"lastVersion":"1.0.2"})");
  EXPECT_EQ(last.first, 0);
  EXPECT_EQ(last.second, 0);
  for (const TransferEvent& e : recorder.Progress()) {
    EXPECT_EQ(e.message, "");
    EXPECT_EQ(e.second, 23);
  }
  EXPECT_EQ(log, "curlcode = 0, ret_code = 200\nhttp post succ to " + url +
                     " with , response is {\"lastVersion\":\"1.0.2\"}\n\n");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/config.json?rand=42");
  EXPECT_EQ(requests[0].headers.at("Connection"), "close");
}

TEST_F(HttpRequest, StatusesOtherThan200AreErrorsAnd408IsATimeout) {
  struct Case {
    int status;
    const char* event;
  };
  for (const Case c : {Case{206, "error"}, Case{404, "error"}, Case{500, "error"},
                       Case{408, "timeout"}}) {
    SCOPED_TRACE(c.status);
    TransferRecorder local;
    server.Serve("/doc", Reply::Status(c.status, "body"));
    testing::internal::CaptureStdout();
    HttpUtil::Request(server.Url("/doc"), "", local.Callback(), "GET", 5);
    const std::string log = testing::internal::GetCapturedStdout();
    const TransferEvent last = local.Final();
    EXPECT_EQ(last.event, c.event);
    EXPECT_EQ(last.message, FailText(c.status, CURLE_OK));
    EXPECT_EQ(last.first, 0);
    EXPECT_EQ(last.second, 0);
    EXPECT_EQ(log, "curlcode = 0, ret_code = " + std::to_string(c.status) +
                       "\ncurl perform fail to " + server.Url("/doc") + " with , ret_code is " +
                       std::to_string(c.status) + " (No error)\n\n");
  }
}

TEST_F(HttpRequest, RangeAnswer206IsAnError) {
  // A genuine partial answer, not merely a status: the request carries no range, so the
  // handler answers with one of its own.
  server.Handle("/doc", [](const httplib::Request&, httplib::Response& response) {
    response.status = 206;
    response.set_header("Content-Range", "bytes 0-3/10");
    response.set_content("part", "text/plain");
  });

  Request(server.Url("/doc"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "error");
  EXPECT_EQ(last.message, FailText(206, CURLE_OK));
}

TEST_F(HttpRequest, PostMovesTheQueryIntoAnEmptyBody) {
  server.Serve("/api", "ok");

  const std::string log = Request(server.Url("/api?a=1&b=two"), "", "POST");

  EXPECT_EQ(recorder.Final().event, "succ");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api");
  EXPECT_EQ(requests[0].body, "?a=1&b=two");
  EXPECT_EQ(log, "curlcode = 0, ret_code = 200\nhttp post succ to " + server.Url("/api") +
                     " with ?a=1&b=two, response is ok\n\n");
}

TEST_F(HttpRequest, PostWithABodyDropsTheQueryAndSendsTheBody) {
  server.Serve("/api", "ok");

  Request(server.Url("/api?a=1"), "x=9", "POST");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/api");
  EXPECT_EQ(requests[0].body, "x=9");
}

TEST_F(HttpRequest, AnyOtherMethodWordIsAGetWithTheQueryKept) {
  server.Serve("/api", "ok");

  Request(server.Url("/api?a=1"), "", "post");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/api?a=1");
  EXPECT_EQ(requests[0].body, "");
}

TEST_F(HttpRequest, RedirectIsFollowed) {
  server.Serve("/moved", Reply::Redirect("/here"));
  server.Serve("/here", "landed");

  Request(server.Url("/moved"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "succ");
  EXPECT_EQ(last.message, "landed");
  EXPECT_EQ(server.RequestedPaths(), (std::vector<std::string>{"/moved", "/here"}));
}

TEST_F(HttpRequest, BodyWithoutLengthReportsNoProgress) {
  server.Serve("/doc", Reply::Body(std::string(50000, 'd')).Chunked());

  Request(server.Url("/doc"));

  EXPECT_EQ(recorder.Events().size(), 1u);
  EXPECT_EQ(recorder.Final().message, std::string(50000, 'd'));
}

TEST_F(HttpRequest, ConnectionDroppedAfterThe200HeaderIsAnError) {
  server.Serve("/doc", Reply::Body(std::string(100000, 'd')).DroppingAt(30000));

  const std::string log = Request(server.Url("/doc"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "error");
  EXPECT_EQ(last.message, FailText(200, CURLE_PARTIAL_FILE));
  EXPECT_EQ(log.rfind("curlcode = 18, ret_code = 200\ncurl perform fail to ", 0), 0u) << log;
}

TEST_F(HttpRequest, UntrustedCertificateIsAnErrorWithStatus0) {
  HttpsTestServer untrusted(testing_support::CertificateAuthority::Generate("Untrusted CA"));
  untrusted.Serve("/doc", "secret");

  Request(untrusted.Url("/doc"));

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "error");
  EXPECT_EQ(last.message, FailText(0, CURLE_PEER_FAILED_VERIFICATION));
  EXPECT_TRUE(untrusted.Requests().empty());
}

TEST_F(HttpRequest, RefusedConnectionIsAnErrorWithStatus0) {
  std::string url;
  {
    HttpsTestServer gone;
    url = gone.Url("/doc");
  }

  Request(url);

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "error");
  EXPECT_EQ(last.message, FailText(0, CURLE_COULDNT_CONNECT));
}

// Takes the five seconds of libcurl's low-speed rule.
TEST_F(HttpRequest, StallBeforeTheHeadersIsAnErrorWithStatus0) {
  server.Serve("/doc", Reply::Body("late").StallingBeforeHeaders(30s));

  const auto start = std::chrono::steady_clock::now();
  const std::string log = Request(server.Url("/doc"));
  const auto elapsed = std::chrono::steady_clock::now() - start;

  const TransferEvent last = recorder.Final();
  EXPECT_EQ(last.event, "error");
  EXPECT_EQ(last.message, FailText(0, CURLE_OPERATION_TIMEDOUT));
  EXPECT_EQ(log.rfind("curlcode = 28, ret_code = 0\n", 0), 0u) << log;
  EXPECT_GE(elapsed, 4s);
  EXPECT_LT(elapsed, 20s);
}

// Redirect chains of the given number of hops over HTTPS end where they should; one hop to plain
// HTTP is never taken.
TEST_F(HttpRequest, RedirectsStayOnHttpsAndEndAfterFive) {
  testing_support::PlainHttpServer plain("over plain http");
  for (int hop = 0; hop < 6; ++hop) {
    server.Serve("/hop" + std::to_string(hop), Reply::Redirect("/hop" + std::to_string(hop + 1)));
  }
  server.Serve("/hop6", "landed");
  server.Serve("/to-http", Reply::Redirect(plain.Url("/doc")));
  struct Case {
    std::string start;
    const char* event;
    std::string message;
  };
  for (const Case& c : {Case{"/hop1", "succ", "landed"},  // five redirects
                        Case{"/hop0", "error", FailText(302, CURLE_TOO_MANY_REDIRECTS)},
                        Case{"/to-http", "error", FailText(302, CURLE_UNSUPPORTED_PROTOCOL)}}) {
    SCOPED_TRACE(c.start);
    TransferRecorder local;
    testing::internal::CaptureStdout();
    HttpUtil::Request(server.Url(c.start), "", local.Callback(), "GET", 5);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(local.Final().event, c.event);
    EXPECT_EQ(local.Final().message, c.message);
  }
  EXPECT_EQ(plain.RequestCount(), 0);
}

TEST_F(HttpRequest, PlainHttpIsNeverRequested) {
  testing_support::PlainHttpServer plain("over plain http");

  Request(plain.Url("/doc"));

  EXPECT_EQ(recorder.Final().event, "error");
  EXPECT_EQ(recorder.Final().message, FailText(0, CURLE_UNSUPPORTED_PROTOCOL));
  EXPECT_EQ(plain.RequestCount(), 0);
}

TEST_F(HttpRequest, DocumentsUpToTheLimitArriveWhole) {
  const std::string body(kMaxDocumentBytes, 'd');
  server.Serve("/length", body);
  server.Serve("/chunked", Reply::Body(body).Chunked());
  for (const char* path : {"/length", "/chunked"}) {
    SCOPED_TRACE(path);
    TransferRecorder local;
    testing::internal::CaptureStdout();
    HttpUtil::Request(server.Url(path), "", local.Callback(), "GET", 5);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(local.Final().event, "succ");
    EXPECT_EQ(local.Final().message.size(), kMaxDocumentBytes);
  }
}

TEST_F(HttpRequest, LongerDocumentsAreErrorsAndTheirTransferStops) {
  // A stated length past the limit is refused before any of the body is read.
  server.Serve("/length", std::string(kMaxDocumentBytes + 1, 'd'));
  Request(server.Url("/length"));
  EXPECT_EQ(recorder.Final().event, "error");
  EXPECT_EQ(recorder.Final().message, FailText(200, CURLE_FILESIZE_EXCEEDED));

  // Without a length, the body is read up to the limit and no further: a server that sends
  // for ever gets hung up on.
  auto sent = std::make_shared<std::atomic<uint64_t>>(0);
  server.Handle("/endless", [sent](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("application/json", [sent](size_t, httplib::DataSink& sink) {
      const std::string piece(64 * 1024, '[');
      if (!sink.write(piece.data(), piece.size())) return false;
      *sent += piece.size();
      return true;
    });
  });
  TransferRecorder endless;
  testing::internal::CaptureStdout();
  HttpUtil::Request(server.Url("/endless"), "", endless.Callback(), "GET", 5);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(endless.Final().event, "error");
  EXPECT_EQ(endless.Final().message,
            "curl perform fail, ret_code is 200 (document larger than 16777216 bytes)");
  EXPECT_LT(sent->load(), 2 * kMaxDocumentBytes);  // what the socket buffers took besides
}

TEST_F(HttpRequest, TheWholeRequestEndsAtItsTimeLimit) {
  // One byte every 100 ms passes the low-speed rule, so only the total limit can end it.
  server.Serve("/doc", Reply::Body(std::string(10000, 'd')).Trickling(100ms));

  const auto start = std::chrono::steady_clock::now();
  testing::internal::CaptureStdout();
  HttpUtil::Request(server.Url("/doc"), "", recorder.Callback(), "GET", 6000, 800);
  testing::internal::GetCapturedStdout();
  const auto elapsed = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(recorder.Final().event, "error");
  EXPECT_EQ(recorder.Final().message, FailText(200, CURLE_OPERATION_TIMEDOUT));
  EXPECT_LT(elapsed, 5s);
}

}  // namespace

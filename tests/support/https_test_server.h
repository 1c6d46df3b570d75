#pragma once
// An HTTPS server on 127.0.0.1 inside the test process. Each path answers with a scripted
// Reply: a body, honoured or ignored ranges, an error status, a redirect, or a transport fault
// (stalls, a dropped connection, a trickle). Every request is recorded.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_certificates.h"

namespace testing_support {

// How one path answers: a body, then the twists a test needs, e.g.
//   server.Serve("/pkg.zip", Reply::Body(bytes).IgnoringRange().DroppingAt(4096));
struct Reply {
  static constexpr size_t kNever = SIZE_MAX;

  // 200 with the body, or 206 with the slice when the request asks for a range.
  static Reply Body(std::string body);
  // Any status with an optional body; ranges are not applied.
  static Reply Status(int status, std::string body = "");
  // 302 to this URL (or absolute path).
  static Reply Redirect(std::string location);

  Reply& IgnoringRange();  // a Range header is ignored: 200 with the whole body
  Reply& Chunked();        // no Content-Length
  Reply& WithContentType(std::string type);
  Reply& StallingBeforeHeaders(std::chrono::milliseconds duration);  // nothing sent meanwhile
  Reply& StallingAt(size_t offset, std::chrono::milliseconds duration);  // pause in the body
  Reply& DroppingAt(size_t offset);  // the connection is closed at this body offset
  Reply& Trickling(std::chrono::milliseconds every);  // one byte of body per interval

  std::string body;
  int status = 200;
  bool honourRange = true;
  bool sendLength = true;
  std::string redirectTo;
  std::string contentType = "application/octet-stream";
  std::chrono::milliseconds stallBeforeHeaders{0};
  size_t stallAfter = kNever;
  std::chrono::milliseconds stallFor{0};
  size_t dropAfter = kNever;
  std::chrono::milliseconds trickleEvery{0};
};

struct RecordedRequest {
  std::string method;
  std::string path;    // without the query
  std::string target;  // as sent: path and query
  std::string body;
  std::string range;   // the Range header, empty when none
  std::map<std::string, std::string> headers;
  int remotePort = 0;  // the client's end of the connection: equal ports, one connection
};

// The library slices a provided body by the request's ranges as asked, past its end too (it would
// read beyond the body and state a Content-Range beyond it); this cuts them at the last byte, as
// HTTP servers answer.
void CutRangesAt(const httplib::Request& request, size_t size);

class HttpsTestServer {
 public:
  // Serves a certificate for localhost issued by the CA, by default the one the launcher
  // trusts in test builds; pass another CA to play an untrusted server.
  explicit HttpsTestServer(const CertificateAuthority& ca = TrustedTestCa());
  // On a fixed loopback port, for a launcher whose base URL names it.
  explicit HttpsTestServer(int fixedPort, const CertificateAuthority& ca = TrustedTestCa());
  ~HttpsTestServer();
  HttpsTestServer(const HttpsTestServer&) = delete;
  HttpsTestServer& operator=(const HttpsTestServer&) = delete;

  int port() const { return port_; }
  // "https://localhost:<port>" followed by target ("/path?query").
  std::string Url(const std::string& target) const;

  // The path (matched without its query) answers 200 with the body, 206 to a range.
  void Serve(const std::string& path, std::string body);
  void Serve(const std::string& path, Reply reply);
  // Successive requests get successive replies; the last one repeats.
  void Serve(const std::string& path, std::vector<Reply> replies);
  // Anything else: the handler writes the response itself (a handler that hands the library a
  // content provider calls CutRangesAt first).
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  void Handle(const std::string& path, Handler handler);
  // Paths not served answer 404.

  std::vector<RecordedRequest> Requests() const;
  std::vector<std::string> RequestedPaths() const;  // in arrival order
  int RequestCount(const std::string& path) const;
  void ClearRequests();

  // Ends every stall and trickle at once and stops serving; the destructor calls it.
  void Stop();

 private:
  struct Route {
    std::vector<Reply> replies;
    Handler handler;
    size_t answered = 0;
  };

  void Answer(const httplib::Request& request, httplib::Response& response);
  void AnswerWith(const Reply& reply, const httplib::Request& request,
                  httplib::Response& response);
  // Waits for the duration; false when the server stopped meanwhile.
  bool Pause(std::chrono::milliseconds duration);

  ServerIdentity identity_;
  httplib::SSLServer server_;
  std::thread listener_;
  std::atomic<bool> listenerDone_{false};
  int port_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::map<std::string, Route> routes_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace testing_support

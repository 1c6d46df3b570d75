#include "tests/support/https_test_server.h"

#include <algorithm>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

constexpr size_t kWriteSize = 64 * 1024;

}  // namespace

void CutRangesAt(const httplib::Request& request, size_t size) {
  // The request object the library hands over is its own mutable one.
  for (auto& [first, last] : const_cast<httplib::Request&>(request).ranges) {
    const auto lastByte = static_cast<ssize_t>(size) - 1;
    if (last > lastByte) last = lastByte;
  }
}

Reply Reply::Body(std::string body) {
  Reply reply;
  reply.body = std::move(body);
  return reply;
}

Reply Reply::Status(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

Reply Reply::Redirect(std::string location) {
  Reply reply;
  reply.status = 302;
  reply.redirectTo = std::move(location);
  return reply;
}

Reply& Reply::IgnoringRange() {
  honourRange = false;
  return *this;
}

Reply& Reply::Chunked() {
  sendLength = false;
  return *this;
}

Reply& Reply::WithContentType(std::string type) {
  contentType = std::move(type);
  return *this;
}

Reply& Reply::StallingBeforeHeaders(std::chrono::milliseconds duration) {
  stallBeforeHeaders = duration;
  return *this;
}

Reply& Reply::StallingAt(size_t offset, std::chrono::milliseconds duration) {
  stallAfter = offset;
  stallFor = duration;
  return *this;
}

Reply& Reply::DroppingAt(size_t offset) {
  dropAfter = offset;
  return *this;
}

Reply& Reply::Trickling(std::chrono::milliseconds every) {
  trickleEvery = every;
  return *this;
}

HttpsTestServer::HttpsTestServer(const CertificateAuthority& ca) : HttpsTestServer(0, ca) {}

HttpsTestServer::HttpsTestServer(int fixedPort, const CertificateAuthority& ca)
    : identity_(ca.IssueLocalhostCertificate()),
      server_(identity_.certificate.get(), identity_.key.get()) {
  // A client that hangs up mid-body makes the next TLS write raise SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  if (!server_.is_valid()) throw std::runtime_error("the test server's TLS setup failed");
  server_.set_keep_alive_timeout(1);
  const auto answer = [this](const httplib::Request& request, httplib::Response& response) {
    Answer(request, response);
  };
  server_.Get(".*", answer);
  server_.Post(".*", answer);
  if (fixedPort > 0) {
    port_ = server_.bind_to_port("127.0.0.1", fixedPort) ? fixedPort : -1;
  } else {
    port_ = server_.bind_to_any_port("127.0.0.1");
  }
  if (port_ <= 0) throw std::runtime_error("the test server cannot bind to 127.0.0.1");
  // The socket listens from here on: clients queue until the loop accepts them.
  listener_ = std::thread([this] {
    server_.listen_after_bind();
    listenerDone_ = true;
  });
}

HttpsTestServer::~HttpsTestServer() { Stop(); }

void HttpsTestServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (listener_.joinable()) {
    // stop() acts only on a running loop: wait until the loop has started or given up.
    while (!server_.is_running() && !listenerDone_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server_.stop();
    listener_.join();
  }
}

std::string HttpsTestServer::Url(const std::string& target) const {
  return "https://localhost:" + std::to_string(port_) + target;
}

void HttpsTestServer::Serve(const std::string& path, std::string body) {
  Serve(path, Reply::Body(std::move(body)));
}

void HttpsTestServer::Serve(const std::string& path, Reply reply) {
  Serve(path, std::vector<Reply>{std::move(reply)});
}

void HttpsTestServer::Serve(const std::string& path, std::vector<Reply> replies) {
  if (replies.empty()) throw std::invalid_argument("no reply for " + path);
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = Route{std::move(replies), nullptr, 0};
}

void HttpsTestServer::Handle(const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = Route{{}, std::move(handler), 0};
}

std::vector<RecordedRequest> HttpsTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<std::string> HttpsTestServer::RequestedPaths() const {
  std::vector<std::string> paths;
  for (const RecordedRequest& request : Requests()) paths.push_back(request.path);
  return paths;
}

int HttpsTestServer::RequestCount(const std::string& path) const {
  const std::vector<std::string> paths = RequestedPaths();
  return static_cast<int>(std::count(paths.begin(), paths.end(), path));
}

void HttpsTestServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

bool HttpsTestServer::Pause(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !stopped_.wait_for(lock, duration, [this] { return stopping_; });
}

void HttpsTestServer::Answer(const httplib::Request& request, httplib::Response& response) {
  RecordedRequest record{request.method, request.path, request.target, request.body,
                         request.get_header_value("Range"), {}};
  for (const auto& [name, value] : request.headers) record.headers[name] = value;
  record.remotePort = request.remote_port;

  Reply reply;
  Handler handler;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(std::move(record));
    const auto route = routes_.find(request.path);
    if (route != routes_.end()) {
      found = true;
      Route& r = route->second;
      if (r.handler) {
        handler = r.handler;
      } else {
        reply = r.replies[std::min(r.answered, r.replies.size() - 1)];
      }
      ++r.answered;
    }
  }
  if (!found) {
    response.status = 404;
    response.set_content("not found", "text/plain");
    return;
  }
  if (handler) {
    handler(request, response);
    return;
  }
  AnswerWith(reply, request, response);
}

void HttpsTestServer::AnswerWith(const Reply& reply, const httplib::Request& request,
                                 httplib::Response& response) {
  if (reply.stallBeforeHeaders.count() > 0 && !Pause(reply.stallBeforeHeaders)) {
    response.status = 503;
    return;
  }
  if (!reply.redirectTo.empty()) {
    response.set_redirect(reply.redirectTo, reply.status);
    return;
  }
  // The library slices the body by itself whenever the request carried a range; the request
  // object it hands over is its own mutable one, so forgetting the range is how a server that
  // ignores ranges is played.
  if (!reply.honourRange || reply.status != 200) {
    const_cast<httplib::Request&>(request).ranges.clear();
  }
  CutRangesAt(request, reply.body.size());
  // Left unset, the status becomes 206 for a range and 200 otherwise.
  if (reply.status != 200 || request.ranges.empty()) response.status = reply.status;

  // A provider of zero bytes leaves the response without a length: the client would wait.
  if (reply.body.empty()) {
    response.set_content("", reply.contentType);
    return;
  }
  auto shared = std::make_shared<const Reply>(reply);
  auto send = [this, shared](size_t offset, size_t end, httplib::DataSink& sink) {
    const Reply& r = *shared;
    size_t position = offset;
    while (position < end) {
      if (position >= r.dropAfter) return false;
      if (position == r.stallAfter && !Pause(r.stallFor)) return false;
      size_t next = std::min(end, position + kWriteSize);
      if (r.stallAfter > position) next = std::min(next, r.stallAfter);
      if (r.dropAfter > position) next = std::min(next, r.dropAfter);
      if (r.trickleEvery.count() > 0) {
        if (!Pause(r.trickleEvery)) return false;
        next = position + 1;
      }
      if (!sink.write(r.body.data() + position, next - position)) return false;
      position = next;
    }
    return true;
  };
  if (reply.sendLength) {
    response.set_content_provider(
        reply.body.size(), reply.contentType,
        [send](size_t offset, size_t length, httplib::DataSink& sink) {
          return send(offset, offset + length, sink);
        });
  } else {
    response.set_chunked_content_provider(
        reply.contentType, [send, size = reply.body.size()](size_t offset, httplib::DataSink& sink) {
          if (!send(offset, size, sink)) return false;
          sink.done();
          return true;
        });
  }
}

}  // namespace testing_support

#include "tests/support/plain_http_server.h"

#include <chrono>
#include <stdexcept>
#include <utility>

namespace testing_support {

PlainHttpServer::PlainHttpServer(std::string body) {
  server_.Get(".*",
              [this, body = std::move(body)](const httplib::Request&, httplib::Response& response) {
                ++requests_;
                response.set_content(body, "application/octet-stream");
              });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the plain HTTP test server could not bind");
  // The socket listens from here on: clients queue until the loop accepts them.
  listener_ = std::thread([this] {
    server_.listen_after_bind();
    listenerDone_ = true;
  });
}

PlainHttpServer::~PlainHttpServer() {
  // stop() acts only on a running loop: wait until the loop has started or given up.
  while (!server_.is_running() && !listenerDone_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  server_.stop();
  listener_.join();
}

std::string PlainHttpServer::Url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

}  // namespace testing_support

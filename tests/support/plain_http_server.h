#pragma once
// A plain-HTTP server on 127.0.0.1 that answers every path with one body and counts what it was
// asked: the place an HTTPS redirect to "http://" would lead.

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace testing_support {

class PlainHttpServer {
 public:
  explicit PlainHttpServer(std::string body);
  ~PlainHttpServer();
  PlainHttpServer(const PlainHttpServer&) = delete;
  PlainHttpServer& operator=(const PlainHttpServer&) = delete;

  // "http://127.0.0.1:<port>" followed by target.
  std::string Url(const std::string& target) const;
  int RequestCount() const { return requests_.load(); }

 private:
  httplib::Server server_;
  std::thread listener_;
  std::atomic<int> requests_{0};
  std::atomic<bool> listenerDone_{false};
  int port_ = 0;
};

}  // namespace testing_support

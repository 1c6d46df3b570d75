#pragma once
// An HTTP proxy on 127.0.0.1 that understands CONNECT only, as clients use it for HTTPS: it
// reads "CONNECT host:port", connects there, answers 200 and relays the bytes both ways until
// either side closes. Every request line is recorded. Any other request is answered 405.
// One thread accepts; each connection gets a thread of its own.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class ConnectProxy {
 public:
  // On the given loopback port, or on one the system picks (port 0).
  explicit ConnectProxy(int port = 0);
  ~ConnectProxy();
  ConnectProxy(const ConnectProxy&) = delete;
  ConnectProxy& operator=(const ConnectProxy&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:<port>", as proxy settings name it.
  std::string Address() const;

  // The request lines received, in arrival order ("CONNECT localhost:443 HTTP/1.1").
  std::vector<std::string> RequestLines() const;
  // The targets of the CONNECT requests that were relayed ("localhost:443").
  std::vector<std::string> Tunnels() const;
  // True once at least count tunnels were opened within the time.
  bool WaitForTunnels(size_t count, std::chrono::milliseconds timeout) const;

  // Closes the listener and every relayed connection; the destructor calls it.
  void Stop();

 private:
  void Accept();
  void Serve(int client);
  void Relay(int client, int server);

  int listener_ = -1;
  int port_ = 0;
  int wakeRead_ = -1;  // becomes readable when the proxy stops
  int wakeWrite_ = -1;
  std::thread acceptor_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopped_ = false;
  std::vector<std::thread> connections_;
  std::vector<std::string> requestLines_;
  std::vector<std::string> tunnels_;
};

}  // namespace testing_support

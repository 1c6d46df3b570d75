#include "tests/support/connect_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace testing_support {
namespace {

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int ConnectTo(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  return fd;
}

}  // namespace

ConnectProxy::ConnectProxy(int port) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("proxy: no pipe");
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0) {
    throw std::runtime_error("proxy: cannot listen on port " + std::to_string(port));
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

ConnectProxy::~ConnectProxy() {
  Stop();
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

std::string ConnectProxy::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> ConnectProxy::RequestLines() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return requestLines_;
}

std::vector<std::string> ConnectProxy::Tunnels() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return tunnels_;
}

bool ConnectProxy::WaitForTunnels(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, timeout, [&] { return tunnels_.size() >= count; });
}

void ConnectProxy::Stop() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (stopped_) return;
    stopped_ = true;
  }
  const char byte = 0;
  (void)!::write(wakeWrite_, &byte, 1);  // every poll below watches the read end
  acceptor_.join();
  ::close(listener_);
  std::vector<std::thread> connections;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    connections.swap(connections_);
  }
  for (std::thread& connection : connections) connection.join();
}

void ConnectProxy::Accept() {
  for (;;) {
    pollfd watched[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) return;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const std::lock_guard<std::mutex> hold(mutex_);
    connections_.emplace_back([this, client] { Serve(client); });
  }
}

void ConnectProxy::Serve(int client) {
  // The request head, up to its blank line; a client sends nothing more before the answer.
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd watched[2] = {{client, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) <= 0 || watched[1].revents != 0) break;
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  const std::string line = head.substr(0, head.find("\r\n"));
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    requestLines_.push_back(line);
  }
  const size_t space = line.find(' ');
  const size_t secondSpace = line.find(' ', space + 1);
  int server = -1;
  std::string target;
  if (line.compare(0, 8, "CONNECT ") == 0 && secondSpace != std::string::npos) {
    target = line.substr(space + 1, secondSpace - space - 1);
    const size_t colon = target.rfind(':');
    if (colon != std::string::npos) {
      std::string host = target.substr(0, colon);
      if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
      server = ConnectTo(host, target.substr(colon + 1));
    }
  }
  if (server < 0) {
    static const char kRefused[] = "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n";
    static const char kUnreachable[] = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";
    const char* answer = target.empty() ? kRefused : kUnreachable;
    SendAll(client, answer, std::char_traits<char>::length(answer));
    ::close(client);
    return;
  }
  static const char kEstablished[] = "HTTP/1.1 200 Connection established\r\n\r\n";
  if (SendAll(client, kEstablished, sizeof kEstablished - 1)) {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      tunnels_.push_back(target);
    }
    changed_.notify_all();
    Relay(client, server);
  }
  ::close(server);
  ::close(client);
}

void ConnectProxy::Relay(int client, int server) {
  char buffer[16384];
  for (;;) {
    pollfd watched[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[2].revents != 0) return;
    for (int side = 0; side < 2; ++side) {
      if (watched[side].revents == 0) continue;
      const int from = side == 0 ? client : server;
      const int to = side == 0 ? server : client;
      const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
      if (n <= 0 || !SendAll(to, buffer, static_cast<size_t>(n))) return;
    }
  }
}

}  // namespace testing_support

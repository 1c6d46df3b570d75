// One running copy per user: a lock file held with flock, plus an abstract Unix socket on which
// the first copy hears the later ones. Abstract sockets carry no permissions, so the peer's uid
// is checked before a wake is believed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/single_instance.h"

namespace platform {
namespace {

constexpr char kWakeWord[] = "wake";

// $XDG_RUNTIME_DIR belongs to the user alone; /tmp is shared, so there another user may have
// put a file or a link under our name first.
std::string LockPath(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp";
  return folder + "/" + name + "." + std::to_string(::getuid()) + ".lock";
}

// The lock file, or -1. A link is never followed and a file that is not a regular file of our
// own is not used: whoever placed it could otherwise hold its lock and keep us from starting.
int OpenOwnLockFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

sockaddr_un SocketAddress(const std::string& name, socklen_t* length) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string abstractName = name + "__EH." + std::to_string(::getuid());
  const size_t n = std::min(abstractName.size(), sizeof address.sun_path - 1);
  std::memcpy(address.sun_path + 1, abstractName.data(), n);  // sun_path[0] = 0: abstract
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
  return address;
}

void ListenForWakes(int listener, std::function<void()> onWake) {
  for (;;) {
    const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    ucred credentials{};
    socklen_t size = sizeof credentials;
    char word[sizeof kWakeWord] = {};
    const bool sameUser = ::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
                          credentials.uid == ::getuid();
    const bool heard = sameUser && ::recv(peer, word, sizeof word - 1, MSG_WAITALL) ==
                                       static_cast<ssize_t>(sizeof word - 1);
    ::close(peer);
    if (heard && std::strcmp(word, kWakeWord) == 0 && onWake) onWake();
  }
}

bool WakeFirstCopy(const std::string& name) {
  socklen_t length = 0;
  const sockaddr_un address = SocketAddress(name, &length);
  // The first copy may hold the lock a moment before its socket listens.
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      const bool sent = ::send(fd, kWakeWord, sizeof kWakeWord - 1, MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(sizeof kWakeWord - 1);
      ::close(fd);
      return sent;
    }
    ::close(fd);
    SleepMs(20);
  }
  return false;
}

}  // namespace

bool ClaimSingleInstance(const std::string& name, std::function<void()> onWake) {
  // The descriptor stays open, and the lock held, until the process ends.
  const int lock = OpenOwnLockFile(LockPath(name));
  if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
    ::close(lock);
    WakeFirstCopy(name);
    return false;
  }
  // Without a lock file of our own (an unwritable folder, a foreign file) the socket alone
  // decides.
  socklen_t length = 0;
  const sockaddr_un address = SocketAddress(name, &length);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return true;
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    ::close(listener);
    if (lock < 0) {
      WakeFirstCopy(name);
      return false;
    }
    return true;  // a stale socket name cannot outlive its process; nothing else to do
  }
  ::listen(listener, 8);
  std::thread(ListenForWakes, listener, std::move(onWake)).detach();
  return true;
}

}  // namespace platform

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
#include <exception>
#include <thread>

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/linux/unique_fd.h"
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

// The lock file, or none. A link is never followed and a file that is not a regular file of our
// own is not used: whoever placed it could otherwise hold its lock and keep us from starting.
UniqueFd OpenOwnLockFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd) return fd;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) return {};
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

// Reads one connection, which it closes on return: true when a copy of the same user sent the
// wake word.
bool IsWake(UniqueFd peer) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  char word[sizeof kWakeWord] = {};
  const bool sameUser =
      ::getsockopt(peer.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
      credentials.uid == ::getuid();
  const bool heard = sameUser && ::recv(peer.get(), word, sizeof word - 1, MSG_WAITALL) ==
                                     static_cast<ssize_t>(sizeof word - 1);
  return heard && std::strcmp(word, kWakeWord) == 0;
}

void ListenForWakes(int listener, std::function<void()> onWake) {
  for (;;) {
    UniqueFd peer(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    if (!IsWake(std::move(peer)) || !onWake) continue;
    // A failed wake must not end the process from this thread: the next one may work.
    try {
      onWake();
    } catch (const std::exception& e) {
      Diagnostic("bringing the window forward failed: %s\n", e.what());
    }
  }
}

bool WakeFirstCopy(const std::string& name) {
  socklen_t length = 0;
  const sockaddr_un address = SocketAddress(name, &length);
  // The first copy may hold the lock a moment before its socket listens.
  for (int attempt = 0; attempt < 50; ++attempt) {
    {
      const UniqueFd connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
      if (!connection) return false;
      if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        return ::send(connection.get(), kWakeWord, sizeof kWakeWord - 1, MSG_NOSIGNAL) ==
               static_cast<ssize_t>(sizeof kWakeWord - 1);
      }
    }
    SleepMs(20);
  }
  return false;
}

}  // namespace

bool ClaimSingleInstance(const std::string& name, std::function<void()> onWake) {
  UniqueFd lock = OpenOwnLockFile(LockPath(name));
  if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    lock.reset();
    WakeFirstCopy(name);
    return false;
  }
  // The descriptor stays open, and the lock held, until the process ends.
  const bool locked = lock.release() >= 0;
  // Without a lock file of our own (an unwritable folder, a foreign file) the socket alone
  // decides.
  socklen_t length = 0;
  const sockaddr_un address = SocketAddress(name, &length);
  UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener) return true;
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    listener.reset();
    if (!locked) {
      WakeFirstCopy(name);
      return false;
    }
    return true;  // a stale socket name cannot outlive its process; nothing else to do
  }
  ::listen(listener.get(), 8);
  // The listening thread keeps the socket for the rest of the process: while it is open, the
  // name is this copy's.
  std::thread(ListenForWakes, listener.release(), std::move(onWake)).detach();
  return true;
}

}  // namespace platform

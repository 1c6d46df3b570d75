#include "platform/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/injected_holds.h"

namespace platform {

bool WriteFileToDisk(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      ok = false;
    }
  }
  ok = ok && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool ReplaceByRename(const std::string& source, const std::string& target) {
  if (testing::TakeInjectedHold(target)) return false;
  if (std::rename(source.c_str(), target.c_str()) != 0) return false;
  // The new name lives in the folder's own blocks: without this a power cut may bring back the
  // old entry. Some file systems cannot sync a folder; the rename stands all the same.
  const std::string::size_type slash = target.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return true;
}

}  // namespace platform

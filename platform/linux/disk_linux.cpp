#include "platform/disk.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

std::optional<uint64_t> FreeDiskBytes(const std::string& path) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
  // f_bavail, not f_bfree: the blocks kept for root are not ours to fill.
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

bool FlushFileToDisk(std::FILE* file) { return std::fflush(file) == 0; }

bool StartWriteBack(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  // Only a hint: where the call is not supported the final sync does all the work.
  ::sync_file_range(::fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
  return true;
}

bool SyncFileSystem(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // One syncfs writes every file back together, where an fsync per file would wait for the
  // journal once per file; since Linux 5.8 it also reports write-back errors of the file system.
  const bool synced = ::syncfs(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace platform

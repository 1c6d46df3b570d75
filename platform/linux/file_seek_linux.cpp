#include "platform/file_seek.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include <limits>

namespace platform {

bool SeekFromStart(std::FILE* file, uint64_t offset) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool WriteAt(std::FILE* file, uint64_t offset, const char* data, size_t size) {
  // Around the stream's buffer: glibc refills it from the disk at every seek of a stream open for
  // reading too, up to the next block boundary, which cost a read per piece a download wrote.
  if (std::fflush(file) != 0) return false;
  const int fd = ::fileno(file);
  while (size > 0) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
    offset += static_cast<uint64_t>(written);
  }
  return true;
}

}  // namespace platform

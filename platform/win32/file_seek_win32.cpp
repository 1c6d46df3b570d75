#include <cstdio>
#include <limits>

#include "platform/file_seek.h"

namespace platform {

bool SeekFromStart(std::FILE* file, uint64_t offset) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<long long>::max())) return false;
  return ::_fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
}

bool WriteAt(std::FILE* file, uint64_t offset, const char* data, size_t size) {
  return SeekFromStart(file, offset) && std::fwrite(data, 1, size, file) == size;
}

}  // namespace platform

#include "platform/file_seek.h"

#include <sys/types.h>

#include <limits>

namespace platform {

bool SeekFromStart(std::FILE* file, uint64_t offset) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace platform

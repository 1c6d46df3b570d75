#include "platform/files.h"

namespace platform {

// Both built on FileAttributes, so every backend answers them by the same rule.
bool PathExists(const std::string& path) { return FileAttributes(path) != kInvalidFileAttributes; }

bool DirectoryExists(const std::string& path) {
  const uint32_t attributes = FileAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

}  // namespace platform

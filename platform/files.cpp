#include "platform/files.h"

#include "platform/utf8_files.h"

namespace platform {
namespace {

bool IsDirectory(uint32_t attributes) {
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

}  // namespace

// Built on FileAttributes, so every backend and both path forms answer them by the same rule.
bool PathExists(const std::string& path) { return FileAttributes(path) != kInvalidFileAttributes; }
bool DirectoryExists(const std::string& path) { return IsDirectory(FileAttributes(path)); }

bool utf8::PathExists(const std::string& path) {
  return utf8::FileAttributes(path) != kInvalidFileAttributes;
}
bool utf8::DirectoryExists(const std::string& path) {
  return IsDirectory(utf8::FileAttributes(path));
}

}  // namespace platform

#include "fs/safe_path.h"

bool IsContainedRelativePath(const std::string& path) {
  if (path.empty()) return true;
  if (path.front() == '/' || path.front() == '\\') return false;
  if (path.find(':') != std::string::npos) return false;  // drive letters and streams
  size_t start = 0;
  for (;;) {
    const size_t end = path.find_first_of("/\\", start);
    const std::string piece = path.substr(start, end == std::string::npos ? end : end - start);
    if (piece == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

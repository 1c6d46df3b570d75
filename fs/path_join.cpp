#include "fs/path_join.h"

#include "platform/files.h"

std::string JoinPath(const std::string& base, const std::string& name) {
  constexpr char sep = platform::kPathSeparator;
  if (base.empty() || name.empty()) return base + name;
  const bool baseEnds = base.back() == sep;
  const bool nameStarts = name.front() == sep;
  if (baseEnds && nameStarts) return base + name.substr(1);
  if (baseEnds || nameStarts) return base + name;
  return base + sep + name;
}

std::string JoinUrl(const std::string& base, const std::string& name) {
  if (!base.empty() && base.back() == '/') return base + name;
  return base + "/" + name;
}

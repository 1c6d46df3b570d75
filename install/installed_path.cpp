#include "install/installed_path.h"

#include "fs/safe_path.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

std::optional<std::string> InstalledPathOf(const std::string& installDir, const std::string& name) {
  if (name.empty() || LeadsOutsideDestination(name)) return std::nullopt;
  std::string path = platform::utf8::FromNarrow(installDir);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += platform::kPathSeparator;
  // Archive names may use either separator, as the extraction accepts.
  for (char c : name) path += c == '/' || c == '\\' ? platform::kPathSeparator : c;
  return path;
}

bool IsFolderEntry(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

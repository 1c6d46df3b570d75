#include "fs/parent_folders.h"

#include "platform/files.h"
#include "platform/utf8_files.h"

void ParentFolders::MakeFor(const std::string& path) {
  // The deepest folder first: once it is made, so are the ones above it.
  const size_t last = path.rfind(platform::kPathSeparator);
  if (last == std::string::npos || last <= root_.size()) return;
  if (made_.count(path.substr(0, last)) != 0) return;
  for (size_t cut = path.find(platform::kPathSeparator, root_.size() + 1); cut != std::string::npos;
       cut = path.find(platform::kPathSeparator, cut + 1)) {
    std::string folder = path.substr(0, cut);
    if (made_.count(folder) != 0) continue;
    platform::utf8::MakeDirectory(folder);
    made_.insert(std::move(folder));
  }
}

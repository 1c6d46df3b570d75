#include "fs/directory.h"

#include <cstdio>

#include "fs/path_join.h"
#include "platform/diagnostics.h"
#include "platform/files.h"

namespace {

struct Listed {
  std::string name;
  bool link = false;
};

std::vector<Listed> ListEntries(const std::string& directory, bool wantDirectories) {
  std::vector<Listed> found;
  for (const platform::DirEntry& entry : platform::ListDirectory(directory)) {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.attributes == platform::kInvalidFileAttributes) continue;
    const bool isDirectory = (entry.attributes & platform::kFileAttributeDirectory) != 0;
    if (isDirectory == wantDirectories) found.push_back({entry.name, entry.link});
  }
  return found;
}

std::vector<std::string> Names(const std::vector<Listed>& entries) {
  std::vector<std::string> names;
  for (const Listed& entry : entries) names.push_back(entry.name);
  return names;
}

}  // namespace

std::vector<std::string> ListFiles(const std::string& directory) {
  return Names(ListEntries(directory, false));
}

std::vector<std::string> ListDirectories(const std::string& directory) {
  return Names(ListEntries(directory, true));
}

void WalkDirectory(const std::string& path, const std::string& relative, const WalkVisitor& visitor) {
  // A link (or a junction) to a folder elsewhere is an entry of this tree, not a part of it: the
  // walk reports it and never goes through it, so a deleting visitor cannot reach its target.
  if (!platform::DirectoryExists(path) || platform::IsLink(path)) return;
  for (const Listed& entry : ListEntries(path, true)) {
    if (!entry.link) WalkDirectory(JoinPath(path, entry.name), JoinPath(relative, entry.name), visitor);
    visitor("dir", JoinPath(relative, entry.name), entry.name);
  }
  for (const Listed& entry : ListEntries(path, false)) {
    visitor("file", JoinPath(relative, entry.name), entry.name);
  }
}

void ClearPackageFolder(const std::string& folder) {
  if (!platform::DirectoryExists(folder)) {
    platform::Diagnostic("attempt to delete dir not exsits!!!\n%s\n", folder.c_str());
    return;
  }
  WalkDirectory(folder, "",
                [&folder](const std::string& kind, const std::string& relative, const std::string&) {
                  const std::string full = JoinPath(folder, relative);
                  if (kind == "file") {
                    platform::RemoveFile(full);
                  } else if (kind == "dir") {
                    platform::RemoveEmptyDirectory(full);
                  }
                });
}

bool CreateDir(const std::string& path) {
  if (platform::MakeDirectory(path) == platform::MakeDirResult::Created) return true;
  platform::Diagnostic("create dir fail:  [%s]\n", path.c_str());
  return false;
}

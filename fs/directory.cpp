#include "fs/directory.h"

#include <cstdio>

#include "fs/path_join.h"
#include "platform/files.h"

namespace {

std::vector<std::string> ListEntries(const std::string& directory, bool wantDirectories) {
  std::vector<std::string> names;
  for (const platform::DirEntry& entry : platform::ListDirectory(directory)) {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.attributes == platform::kInvalidFileAttributes) continue;
    const bool isDirectory = (entry.attributes & platform::kFileAttributeDirectory) != 0;
    if (isDirectory == wantDirectories) names.push_back(entry.name);
  }
  return names;
}

}  // namespace

std::vector<std::string> ListFiles(const std::string& directory) {
  return ListEntries(directory, false);
}

std::vector<std::string> ListDirectories(const std::string& directory) {
  return ListEntries(directory, true);
}

void WalkDirectory(const std::string& path, const std::string& relative, const WalkVisitor& visitor) {
  if (!platform::DirectoryExists(path)) return;
  for (const std::string& name : ListDirectories(path)) {
    WalkDirectory(JoinPath(path, name), JoinPath(relative, name), visitor);
    visitor("dir", JoinPath(relative, name), name);
  }
  for (const std::string& name : ListFiles(path)) visitor("file", JoinPath(relative, name), name);
}

void ClearPackageFolder(const std::string& folder) {
  if (!platform::DirectoryExists(folder)) {
    std::printf("attempt to delete dir not exsits!!!\n%s\n", folder.c_str());
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
  std::printf("create dir fail:  [%s]\n", path.c_str());
  return false;
}

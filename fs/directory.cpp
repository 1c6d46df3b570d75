#include "fs/directory.h"

#include <cstdio>

#include "fs/locked_file_retry.h"
#include "fs/path_join.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

namespace {

struct Listed {
  std::string name;
  bool link = false;
};

std::vector<Listed> Select(const std::vector<platform::DirEntry>& listed, bool wantDirectories) {
  std::vector<Listed> found;
  for (const platform::DirEntry& entry : listed) {
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
  return Names(Select(platform::ListDirectory(directory), false));
}

std::vector<std::string> ListDirectories(const std::string& directory) {
  return Names(Select(platform::ListDirectory(directory), true));
}

void WalkDirectory(const std::string& path, const std::string& relative, const WalkVisitor& visitor) {
  // A link (or a junction) to a folder elsewhere is an entry of this tree, not a part of it: the
  // walk reports it and never goes through it, so a deleting visitor cannot reach its target.
  if (!platform::utf8::DirectoryExists(path) || platform::utf8::IsLink(path)) return;
  const std::vector<platform::DirEntry> listed = platform::utf8::ListDirectory(path);
  for (const Listed& entry : Select(listed, true)) {
    if (!entry.link) WalkDirectory(JoinPath(path, entry.name), JoinPath(relative, entry.name), visitor);
    visitor("dir", JoinPath(relative, entry.name), entry.name);
  }
  for (const Listed& entry : Select(listed, false)) {
    visitor("file", JoinPath(relative, entry.name), entry.name);
  }
}

void ClearPackageFolder(const std::string& folder) {
  if (!platform::DirectoryExists(folder)) {
    platform::Diagnostic("attempt to delete dir not exsits!!!\n%s\n", folder.c_str());
    return;
  }
  // Walked in the UTF-8 form: whatever names the folder holds, each is removed by its own.
  const std::string root = platform::utf8::FromNarrow(folder);
  WalkDirectory(root, "",
                [&root](const std::string& kind, const std::string& relative, const std::string&) {
                  const std::string full = JoinPath(root, relative);
                  if (kind == "file") {
                    RetryWhileHeld("delete file", full,
                                   [&full] { return platform::utf8::RemoveFile(full); });
                  } else if (kind == "dir") {
                    RetryWhileHeld("delete folder", full,
                                   [&full] { return platform::utf8::RemoveEmptyDirectory(full); });
                  }
                });
}

bool CreateDir(const std::string& path) {
  if (platform::MakeDirectory(path) == platform::MakeDirResult::Created) return true;
  platform::Diagnostic("create dir fail:  [%s]\n", path.c_str());
  return false;
}

#include "publish/atomic_file.h"

#include "platform/files.h"
#include "platform/replace_file.h"

std::string TemporaryNameFor(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + ".partial";
}

bool PublishTemporary(const std::string& temporary, const std::string& path) {
  if (platform::ReplaceByRename(temporary, path)) return true;
  platform::RemoveFile(temporary);
  return false;
}

bool PublishFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = TemporaryNameFor(path);
  if (!platform::WriteFileToDisk(temporary, bytes)) {
    platform::RemoveFile(temporary);
    return false;
  }
  return PublishTemporary(temporary, path);
}

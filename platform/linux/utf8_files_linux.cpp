// Linux names files in UTF-8: the narrow calls serve these names unchanged.

#include "platform/utf8_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/injected_holds.h"

namespace platform::utf8 {

std::string FromNarrow(std::string_view narrow) { return std::string(narrow); }
uint32_t FileAttributes(const std::string& path) { return platform::FileAttributes(path); }
uint64_t FileSize(const std::string& path) { return platform::FileSize(path); }
std::vector<DirEntry> ListDirectory(const std::string& dir) { return platform::ListDirectory(dir); }
bool IsLink(const std::string& path) { return platform::IsLink(path); }
MakeDirResult MakeDirectory(const std::string& path) { return platform::MakeDirectory(path); }
bool RemoveFile(const std::string& path) { return platform::RemoveFile(path); }
bool RemoveEmptyDirectory(const std::string& path) { return platform::RemoveEmptyDirectory(path); }
void MarkExecutable(const std::string& path) { platform::MarkExecutable(path); }
std::optional<bool> IsMarkedExecutable(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return (st.st_mode & S_IXUSR) != 0;
}
std::optional<FileStamp> FileSizeAndTime(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileStamp{static_cast<uint64_t>(st.st_size),
                   static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}
bool MoveReplacing(const std::string& source, const std::string& target) {
  if (testing::TakeInjectedHold(target)) return false;
  return std::rename(source.c_str(), target.c_str()) == 0;
}

std::FILE* OpenForWriting(const std::string& path) {
  if (testing::TakeInjectedHold(path)) return nullptr;
  return std::fopen(path.c_str(), "wb");
}

}  // namespace platform::utf8

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {

uint32_t FileAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return kInvalidFileAttributes;
  return S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

bool PathExists(const std::string& path) { return FileAttributes(path) != kInvalidFileAttributes; }

bool DirectoryExists(const std::string& path) {
  const uint32_t attributes = FileAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

uint64_t FileSize(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0;
  ::close(fd);
  return ok ? static_cast<uint64_t>(st.st_size) : 0;
}

std::optional<int64_t> LastWriteTimeMs(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

std::vector<DirEntry> ListDirectory(const std::string& dir) {
  std::vector<DirEntry> entries;
  DIR* handle = ::opendir(dir.empty() ? "." : dir.c_str());
  if (handle == nullptr) return entries;
  while (const dirent* entry = ::readdir(handle)) {
    DirEntry item;
    item.name = entry->d_name;
    const std::string full = dir + kPathSeparator + item.name;
    item.attributes = FileAttributes(full);
    item.link = IsLink(full);
    // A dangling link has no target to report; it is still an entry to see (and remove).
    if (item.link && item.attributes == kInvalidFileAttributes) item.attributes = kFileAttributeNormal;
    entries.push_back(std::move(item));
  }
  ::closedir(handle);
  return entries;
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

MakeDirResult MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return MakeDirResult::Created;
  return errno == EEXIST ? MakeDirResult::AlreadyExists : MakeDirResult::Failed;
}

bool RemoveFile(const std::string& path) {
  // DeleteFileA refuses directories; unlink does too, so the behaviour matches.
  return ::unlink(path.c_str()) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) == 0) return true;
  // rmdir refuses a link; RemoveDirectoryA removes a link to a directory as the link itself.
  return errno == ENOTDIR && IsLink(path) && DirectoryExists(path) && ::unlink(path.c_str()) == 0;
}

void MarkExecutable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  ::chmod(path.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
}

std::string WorkingDirectory() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
  return buffer;
}

int LastErrorCode() { return errno; }

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int saved = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    errno = saved;
    return false;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
  return true;
}

int64_t InputFile::Read(void* buffer, size_t size) {
  if (handle_ == nullptr) return -1;
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(handle_) - 1);
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

void InputFile::Close() {
  if (handle_ == nullptr) return;
  ::close(static_cast<int>(reinterpret_cast<intptr_t>(handle_) - 1));
  handle_ = nullptr;
}

}  // namespace platform

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/injected_holds.h"
#include "platform/linux/unique_fd.h"

namespace platform {
namespace {

// An open InputFile holds its descriptor as fd + 1: descriptor 0 must not be the null that means
// closed.
void* HandleOf(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1); }
int DescriptorOf(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1); }

}  // namespace

uint32_t FileAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return kInvalidFileAttributes;
  return S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

uint64_t FileSize(const std::string& path) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return 0;
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<int64_t> LastWriteTimeMs(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

std::vector<DirEntry> ListDirectory(const std::string& dir) {
  std::vector<DirEntry> entries;
  const UniqueDir handle(::opendir(dir.empty() ? "." : dir.c_str()));
  if (handle == nullptr) return entries;
  while (const dirent* entry = ::readdir(handle.get())) {
    DirEntry item;
    item.name = entry->d_name;
    const std::string full = dir + kPathSeparator + item.name;
    item.attributes = FileAttributes(full);
    item.link = IsLink(full);
    // A dangling link has no target to report; it is still an entry to see (and remove).
    if (item.link && item.attributes == kInvalidFileAttributes) item.attributes = kFileAttributeNormal;
    entries.push_back(std::move(item));
  }
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
  if (testing::TakeInjectedHold(path)) return false;
  // DeleteFileA refuses directories; unlink does too, so the behaviour matches.
  return ::unlink(path.c_str()) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  if (testing::TakeInjectedHold(path)) return false;
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

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

int LastErrorCode() { return errno; }

void InputFile::Closer::operator()(void* handle) const { ::close(DescriptorOf(handle)); }

bool InputFile::Open(const std::string& path) {
  Close();
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return false;
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
    // The caller reads the reason from errno, which must outlive the close.
    const int saved = S_ISDIR(st.st_mode) ? EISDIR : errno;
    file.reset();
    errno = saved;
    return false;
  }
  ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_.reset(HandleOf(file.release()));
  return true;
}

int64_t InputFile::Read(void* buffer, size_t size) {
  if (handle_ == nullptr) return -1;
  const int fd = DescriptorOf(handle_.get());
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

}  // namespace platform

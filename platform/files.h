#pragma once
// Files and directories, shaped after the Win32 "A" calls the Windows build makes: attribute
// words, one directory level per call.
// Paths are narrow strings in the platform's encoding (UTF-8 on Linux, the ANSI code page on
// Windows), relative paths resolve against the working directory. Names from the publisher's
// documents and archives use platform/utf8_files.h instead.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kFileAttributeDirectory = 0x10u;
inline constexpr uint32_t kFileAttributeNormal = 0x80u;

// GetFileAttributesA: kInvalidFileAttributes when nothing is at the path.
uint32_t FileAttributes(const std::string& path);
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Size of the file in bytes (64-bit); 0 when it cannot be opened.
uint64_t FileSize(const std::string& path);

// Last-write time in milliseconds since 1970-01-01 UTC; nothing when it cannot be read.
std::optional<int64_t> LastWriteTimeMs(const std::string& path);

struct DirEntry {
  std::string name;
  uint32_t attributes = 0;  // the link's target's, where the system reports them
  bool link = false;        // a symbolic link or a junction: its own entry, not its target
};

// FindFirstFileA/FindNextFileA over "dir\*": every entry the system reports, "." and ".."
// included where it reports them. Empty when the directory cannot be read.
std::vector<DirEntry> ListDirectory(const std::string& dir);

// True when the path itself is a symbolic link or a junction (not followed).
bool IsLink(const std::string& path);

enum class MakeDirResult { Created, AlreadyExists, Failed };
// CreateDirectoryA: exactly one level.
MakeDirResult MakeDirectory(const std::string& path);

bool RemoveFile(const std::string& path);            // DeleteFileA
// RemoveDirectoryA: an empty directory, or a link to a directory (the link, never its target).
bool RemoveEmptyDirectory(const std::string& path);

// Lets a program extracted from an archive be started: where files carry an executable bit,
// it is set for everyone who may read the file; elsewhere nothing happens.
void MarkExecutable(const std::string& path);

// GetCurrentDirectory, whatever its length.
std::string WorkingDirectory();

// fopen(path, mode) for a narrow path; on Windows through the wide call in its long form, so
// paths past MAX_PATH open too.
std::FILE* OpenFile(const std::string& path, const char* mode);

// The code of the last failed call on this thread (GetLastError, errno), for log lines.
int LastErrorCode();

// A file opened for sequential binary reading, closed when it goes out of scope.
class InputFile {
 public:
  bool Open(const std::string& path);  // CreateFileA, GENERIC_READ, FILE_SHARE_READ
  // Reads up to size bytes; the count read, 0 at the end, -1 on failure.
  int64_t Read(void* buffer, size_t size);
  void Close() { handle_.reset(); }
  bool IsOpen() const { return handle_ != nullptr; }

 private:
  // Each backend closes its own kind of handle.
  struct Closer {
    void operator()(void* handle) const;
  };
  // The backend's file handle, never null while open.
  std::unique_ptr<void, Closer> handle_;
};

}  // namespace platform

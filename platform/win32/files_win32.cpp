// The "A" file functions: paths are bytes in the ANSI code page, handed over unchanged.

#include <windows.h>

#include "platform/files.h"
#include "platform/win32/file_time.h"
#include "platform/win32/unique_handle.h"

namespace platform {

uint32_t FileAttributes(const std::string& path) {
  if (path.empty()) return kInvalidFileAttributes;
  return ::GetFileAttributesA(path.c_str());
}

uint64_t FileSize(const std::string& path) {
  const UniqueFileHandle file(::CreateFileA(path.c_str(), FILE_READ_EA, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  DWORD high = 0;
  const DWORD low = ::GetFileSize(file.get(), &high);
  const bool failed = low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR;
  return failed ? 0 : (static_cast<uint64_t>(high) << 32) | low;
}

std::optional<int64_t> LastWriteTimeMs(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileTimeToUnixMs(data.ftLastWriteTime);
}

namespace {

// Symbolic links and junctions are name surrogates; other reparse points (cloud placeholders,
// deduplicated files) are ordinary files and folders to us.
bool IsLinkEntry(const WIN32_FIND_DATAA& found) {
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(found.dwReserved0);
}

}  // namespace

bool IsLink(const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
  WIN32_FIND_DATAA found{};
  const UniqueFindHandle search(::FindFirstFileA(path.c_str(), &found));
  if (!search) return false;
  return IsLinkEntry(found);
}

std::vector<DirEntry> ListDirectory(const std::string& dir) {
  std::vector<DirEntry> entries;
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found{};
  const UniqueFindHandle search(::FindFirstFileA(pattern.c_str(), &found));
  if (!search) return entries;
  do {
    entries.push_back(DirEntry{found.cFileName, found.dwFileAttributes, IsLinkEntry(found)});
  } while (::FindNextFileA(search.get(), &found));
  return entries;
}

MakeDirResult MakeDirectory(const std::string& path) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = FALSE;
  if (::CreateDirectoryA(path.c_str(), &attributes)) return MakeDirResult::Created;
  return ::GetLastError() == ERROR_ALREADY_EXISTS ? MakeDirResult::AlreadyExists
                                                  : MakeDirResult::Failed;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool RemoveEmptyDirectory(const std::string& path) {
  return ::RemoveDirectoryA(path.c_str()) != 0;
}

// Windows starts any file by its name; there is no executable bit to set.
void MarkExecutable(const std::string&) {}

std::string WorkingDirectory() {
  char buffer[MAX_PATH + 1];
  const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::string(buffer, length);
}

int LastErrorCode() { return static_cast<int>(::GetLastError()); }

void InputFile::Closer::operator()(void* handle) const { ::CloseHandle(handle); }

bool InputFile::Open(const std::string& path) {
  Close();
  UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  handle_.reset(file.release());
  return true;
}

int64_t InputFile::Read(void* buffer, size_t size) {
  if (handle_ == nullptr) return -1;
  const DWORD wanted = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD read = 0;
  if (!::ReadFile(handle_.get(), buffer, wanted, &read, nullptr)) return -1;
  return read;
}

}  // namespace platform

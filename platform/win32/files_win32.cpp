// The file functions, on the wide ("W") calls: narrow paths are bytes in the ANSI code page,
// turned into UTF-16 as the "A" calls would turn them; UTF-8 paths (names from documents and
// archives) are turned into UTF-16 from UTF-8, so no code page limits them.

#include <windows.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/utf8_files.h"
#include "platform/win32/file_time.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::wstring Utf8ToWide(std::string_view path) { return ToWide(CP_UTF8, path); }

uint32_t AttributesOf(const std::wstring& path) {
  if (path.empty()) return kInvalidFileAttributes;
  return ::GetFileAttributesW(LongPathForm(path).c_str());
}

uint64_t SizeOf(const std::wstring& path) {
  const UniqueFileHandle file(::CreateFileW(LongPathForm(path).c_str(), FILE_READ_EA,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  DWORD high = 0;
  const DWORD low = ::GetFileSize(file.get(), &high);
  const bool failed = low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR;
  return failed ? 0 : (static_cast<uint64_t>(high) << 32) | low;
}

// Symbolic links and junctions are name surrogates; other reparse points (cloud placeholders,
// deduplicated files) are ordinary files and folders to us.
bool IsLinkEntry(const WIN32_FIND_DATAW& found) {
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(found.dwReserved0);
}

bool IsLinkAt(const std::wstring& path) {
  if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos) return false;
  WIN32_FIND_DATAW found{};
  const UniqueFindHandle search(::FindFirstFileW(LongPathForm(path).c_str(), &found));
  if (!search) return false;
  return IsLinkEntry(found);
}

// The names are handed back in the code page of the caller's path form.
std::vector<DirEntry> ListWide(const std::wstring& dir, UINT nameCodePage) {
  std::vector<DirEntry> entries;
  std::wstring pattern = LongPathForm(dir);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  const UniqueFindHandle search(::FindFirstFileW(pattern.c_str(), &found));
  if (!search) return entries;
  do {
    entries.push_back(
        DirEntry{FromWide(nameCodePage, found.cFileName), found.dwFileAttributes, IsLinkEntry(found)});
  } while (::FindNextFileW(search.get(), &found));
  return entries;
}

MakeDirResult MakeDirectoryAt(const std::wstring& path) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = FALSE;
  if (path.empty()) return MakeDirResult::Failed;
  if (::CreateDirectoryW(LongPathForm(path).c_str(), &attributes)) return MakeDirResult::Created;
  return ::GetLastError() == ERROR_ALREADY_EXISTS ? MakeDirResult::AlreadyExists
                                                  : MakeDirResult::Failed;
}

bool RemoveFileAt(const std::wstring& path) {
  return ::DeleteFileW(LongPathForm(path).c_str()) != 0;
}
bool RemoveDirectoryAt(const std::wstring& path) {
  return ::RemoveDirectoryW(LongPathForm(path).c_str()) != 0;
}

}  // namespace

uint32_t FileAttributes(const std::string& path) { return AttributesOf(AnsiToWide(path)); }

uint64_t FileSize(const std::string& path) { return SizeOf(AnsiToWide(path)); }

std::optional<int64_t> LastWriteTimeMs(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const std::wstring wide = LongPathForm(AnsiToWide(path));
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileTimeToUnixMs(data.ftLastWriteTime);
}

bool IsLink(const std::string& path) { return IsLinkAt(AnsiToWide(path)); }

std::vector<DirEntry> ListDirectory(const std::string& dir) {
  return ListWide(AnsiToWide(dir), CP_ACP);
}

MakeDirResult MakeDirectory(const std::string& path) { return MakeDirectoryAt(AnsiToWide(path)); }

bool RemoveFile(const std::string& path) { return RemoveFileAt(AnsiToWide(path)); }

bool RemoveEmptyDirectory(const std::string& path) { return RemoveDirectoryAt(AnsiToWide(path)); }

// Windows starts any file by its name; there is no executable bit to set.
void MarkExecutable(const std::string&) {}

std::string WorkingDirectory() {
  // Past MAX_PATH where the system allows it: the length asked first.
  const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return {};
  std::wstring wide(needed, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(needed, wide.data());
  if (length == 0 || length >= needed) return {};
  wide.resize(length);
  return WideToAnsi(wide.c_str());
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return ::_wfopen(LongPathForm(AnsiToWide(path)).c_str(), AnsiToWide(mode).c_str());
}

int LastErrorCode() { return static_cast<int>(::GetLastError()); }

void InputFile::Closer::operator()(void* handle) const { ::CloseHandle(handle); }

bool InputFile::Open(const std::string& path) {
  Close();
  UniqueFileHandle file(::CreateFileW(LongPathForm(AnsiToWide(path)).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
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

namespace utf8 {

std::string FromNarrow(std::string_view narrow) {
  const std::wstring wide = AnsiToWide(narrow);
  return FromWide(CP_UTF8, wide.c_str());
}

uint32_t FileAttributes(const std::string& path) { return AttributesOf(Utf8ToWide(path)); }
uint64_t FileSize(const std::string& path) { return SizeOf(Utf8ToWide(path)); }
std::vector<DirEntry> ListDirectory(const std::string& dir) {
  return ListWide(Utf8ToWide(dir), CP_UTF8);
}
bool IsLink(const std::string& path) { return IsLinkAt(Utf8ToWide(path)); }
MakeDirResult MakeDirectory(const std::string& path) { return MakeDirectoryAt(Utf8ToWide(path)); }
bool RemoveFile(const std::string& path) { return RemoveFileAt(Utf8ToWide(path)); }
bool RemoveEmptyDirectory(const std::string& path) { return RemoveDirectoryAt(Utf8ToWide(path)); }
void MarkExecutable(const std::string&) {}
std::optional<bool> IsMarkedExecutable(const std::string&) { return std::nullopt; }
std::optional<FileStamp> FileSizeAndTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() ||
      !::GetFileAttributesExW(LongPathForm(Utf8ToWide(path)).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  const uint64_t bytes = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return FileStamp{bytes, FileTimeToUnixNs(data.ftLastWriteTime)};
}
std::FILE* OpenForWriting(const std::string& path) {
  return ::_wfopen(LongPathForm(Utf8ToWide(path)).c_str(), L"wb");
}
bool MoveReplacing(const std::string& source, const std::string& target) {
  // Write-through: the move is on the disk when the call returns, as the files flushed before
  // it are; Windows has no later sync of the whole volume that would cover it.
  return ::MoveFileExW(LongPathForm(Utf8ToWide(source)).c_str(),
                       LongPathForm(Utf8ToWide(target)).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace utf8
}  // namespace platform

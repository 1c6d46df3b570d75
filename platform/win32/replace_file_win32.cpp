#include <windows.h>

#include "platform/replace_file.h"
#include "platform/win32/long_path.h"

namespace platform {
namespace {

// The launcher's paths are in the ANSI code page.
std::wstring AnsiToWide(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

}  // namespace

bool WriteFileToDisk(const std::string& path, const std::string& bytes) {
  const HANDLE file = ::CreateFileW(LongPathForm(AnsiToWide(path)).c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const size_t left = bytes.size() - done;
    const DWORD wanted = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    ok = ::WriteFile(file, bytes.data() + done, wanted, &written, nullptr) != 0 && written > 0;
    done += written;
  }
  ok = ok && ::FlushFileBuffers(file) != 0;
  return ::CloseHandle(file) != 0 && ok;
}

bool ReplaceByRename(const std::string& source, const std::string& target) {
  const std::wstring from = AnsiToWide(source);
  const std::wstring to = AnsiToWide(target);
  if (from.empty() || to.empty()) return false;
  return ::MoveFileExW(LongPathForm(from).c_str(), LongPathForm(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace platform

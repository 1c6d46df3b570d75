#include <windows.h>

#include "platform/win32/long_path.h"

namespace platform {
namespace {

// CreateDirectory leaves room for an 8.3 name below the folder: its limit is the lowest.
constexpr size_t kShortPathLimit = MAX_PATH - 12;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  full.resize(length);
  return full;
}

}  // namespace

std::wstring LongPathForm(const std::wstring& path) {
  if (path.empty() || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
  const std::wstring full = FullPath(path);
  // A short path keeps the form it came in: nothing changes for the paths that always worked.
  if (full.size() < kShortPathLimit && path.size() < kShortPathLimit) return path;
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (StartsWith(full, L"\\\\") && !StartsWith(full, L"\\\\.\\")) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return path;
}

}  // namespace platform

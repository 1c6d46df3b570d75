#pragma once
// Between UTF-16 and the process's ANSI code page, as the launcher's narrow strings are held on
// Windows.

#include <windows.h>

#include <string>

namespace platform {

inline std::string WideToAnsi(const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

inline std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  }
  return wide;
}

}  // namespace platform

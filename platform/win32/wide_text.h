#pragma once
// UTF-16 to and from narrow text: the Win32 "W" calls and GDI+ take UTF-16, the launcher's narrow
// strings are held in the process's ANSI code page.

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

inline std::string WideToAnsi(const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

// Text in the code page to UTF-16, zero units included; empty when nothing converts.
inline std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  }
  return wide;
}

inline std::wstring AnsiToWide(std::string_view text) { return ToWide(CP_ACP, text); }

}  // namespace platform

#pragma once
// UTF-16 to and from narrow text: the Win32 "W" calls and GDI+ take UTF-16. The launcher's
// narrow strings (paths, arguments) are held in the process's ANSI code page, its built-in texts
// in GBK (code page 936), and the names from documents and archives in UTF-8.

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

inline constexpr UINT kGbkCodePage = 936;

// A zero-terminated UTF-16 text in the code page; unmappable characters become the code page's
// default character.
inline std::string FromWide(UINT codePage, const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(codePage, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

inline std::string WideToAnsi(const wchar_t* wide) { return FromWide(CP_ACP, wide); }

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

// Built-in texts are GBK whatever the system's code page: decoded as such, they show the intended
// characters on a Western, Big5 or UTF-8 Windows too.
inline std::wstring GbkToWide(std::string_view text) { return ToWide(kGbkCodePage, text); }

}  // namespace platform

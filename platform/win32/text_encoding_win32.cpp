// Code-page conversions through UTF-16: GBK is code page 936, the narrow encoding is CP_ACP.

#include <windows.h>

#include "platform/text_encoding.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// By length: zero units inside the text are kept.
std::string FromWideText(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                          nullptr, nullptr);
  }
  return text;
}

std::string Convert(UINT to, UINT from, std::string_view text) {
  return FromWideText(to, ToWide(from, text));
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) { return Convert(CP_UTF8, kGbkCodePage, gbk); }
std::string Utf8ToGbk(std::string_view utf8) { return Convert(kGbkCodePage, CP_UTF8, utf8); }
std::string Utf8ToNarrow(std::string_view utf8) { return Convert(CP_ACP, CP_UTF8, utf8); }
// The console and the pipes of a Chinese system read the ANSI code page.
std::string GbkToDisplay(std::string_view gbk) { return Convert(CP_ACP, kGbkCodePage, gbk); }

}  // namespace platform

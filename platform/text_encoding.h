#pragma once
// Narrow-text conversions. "Narrow" is the platform's own encoding for paths and texts: UTF-8 on
// Linux, the ANSI code page on Windows. Built-in texts are GBK bytes on every platform.

#include <string>
#include <string_view>

namespace platform {

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);
// UTF-8 (zip entry names) to the narrow encoding: identity on Linux, CP_UTF8 -> CP_ACP on Windows.
std::string Utf8ToNarrow(std::string_view utf8);
// Built-in GBK texts to what the platform's text output shows: UTF-8 on Linux.
std::string GbkToDisplay(std::string_view gbk);

}  // namespace platform

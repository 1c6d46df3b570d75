#include "app/format_size.h"

#include <charconv>

std::string FormatSize(uint64_t bytes) {
  if (bytes < 1024) return "0k";
  if (bytes < 1048576) return std::to_string(bytes / 1024) + "k";
  // to_chars never asks the locale: the GTK backend's gtk_init sets the process's locale from
  // the session, and printf would then write "1,5M" in a German one.
  char text[64];
  const std::to_chars_result end = std::to_chars(
      text, text + sizeof text - 1, static_cast<double>(bytes) / 1024 / 1024, std::chars_format::fixed, 1);
  *end.ptr = 'M';
  return std::string(text, end.ptr + 1);
}

#include "app/format_size.h"

#include <cstdio>

std::string FormatSize(uint64_t bytes) {
  if (bytes < 1024) return "0k";
  if (bytes < 1048576) return std::to_string(bytes / 1024) + "k";
  char text[64];
  std::snprintf(text, sizeof text, "%.1fM", static_cast<double>(bytes) / 1024 / 1024);
  return text;
}

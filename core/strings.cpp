#include "core/strings.h"

std::string ReplaceAll(const std::string& source, const std::string& search,
                       const std::string& replacement) {
  std::string result = source;
  if (search.empty()) return result;
  size_t position = 0;
  while ((position = result.find(search, position)) != std::string::npos) {
    result.replace(position, search.size(), replacement);
    position += replacement.size();
  }
  return result;
}

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter) {
  std::vector<std::string> pieces;
  size_t position = text.find_first_not_of(delimiter);
  if (position == std::string::npos) return pieces;
  if (delimiter.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  for (;;) {
    const size_t found = text.find(delimiter, position);
    const size_t end = found == std::string::npos ? text.size() : found;
    if (end > position) pieces.push_back(text.substr(position, end - position));
    if (found == std::string::npos) return pieces;
    position = found + delimiter.size();
  }
}

bool SameDigest(const std::string& a, const std::string& b) {
  if (a.empty() || a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string LowerHex(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

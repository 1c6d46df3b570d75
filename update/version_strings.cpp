#include "update/version_strings.h"

#include <cctype>

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

bool VersionMatches(const std::string& pattern, const std::string& version) {
  const std::vector<std::string> patternPieces = SplitString(pattern, ".");
  const std::vector<std::string> versionPieces = SplitString(version, ".");
  if (patternPieces.size() != versionPieces.size() || patternPieces.size() != 3) return false;
  for (size_t i = 0; i < 3; ++i) {
    if (patternPieces[i] == versionPieces[i]) continue;
    if (patternPieces[i] == "x" || versionPieces[i] == "x") continue;
    return false;
  }
  return true;
}

namespace {

// Digits from position, at least one; the position after them, or npos.
size_t SkipDigits(const std::string& text, size_t position) {
  const size_t start = position;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) ++position;
  return position > start ? position : std::string::npos;
}

}  // namespace

// The ECMAScript search "_(\d+_\d+_\d+)\.zip": digit runs cannot swallow the '_' or '.' that
// follows them, so a greedy scan from each '_' finds exactly what the expression would.
std::optional<std::string> InstalledVersion(const std::string& packageName) {
  for (size_t start = packageName.find('_'); start != std::string::npos;
       start = packageName.find('_', start + 1)) {
    size_t position = start + 1;
    bool matched = true;
    for (int piece = 0; piece < 3 && matched; ++piece) {
      if (piece > 0) {
        if (position >= packageName.size() || packageName[position] != '_') {
          matched = false;
          break;
        }
        ++position;
      }
      position = SkipDigits(packageName, position);
      matched = position != std::string::npos;
    }
    if (matched && packageName.compare(position, 4, ".zip") == 0) {
      return packageName.substr(start + 1, position - start - 1);
    }
  }
  return std::nullopt;
}

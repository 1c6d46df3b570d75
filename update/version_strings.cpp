#include "update/version_strings.h"

#include <cctype>

#include "core/strings.h"

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

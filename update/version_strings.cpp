#include "update/version_strings.h"

#include <regex>

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

std::optional<std::string> InstalledVersion(const std::string& packageName) {
  static const std::regex pattern(R"(_([0-9]+_[0-9]+_[0-9]+)\.zip)", std::regex::ECMAScript);
  std::smatch match;
  if (!std::regex_search(packageName, match, pattern)) return std::nullopt;
  return match[1].str();
}

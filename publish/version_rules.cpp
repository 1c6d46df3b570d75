#include "publish/version_rules.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/strings.h"
#include "update/version_strings.h"

namespace {

bool AllDigits(const std::string& piece) {
  return !piece.empty() &&
         std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool IsPublishableVersion(const std::string& version) {
  const std::string underscored = ReplaceAll(version, ".", "_");
  const std::optional<std::string> found = InstalledVersion("game_" + underscored + ".zip");
  if (!found.has_value() || *found != underscored) return false;
  // Each piece one way only ("01" and "1" would be two versions to the launcher's comparison of
  // text) and small enough for every reader that takes it as a number.
  for (const std::string& piece : SplitString(version, ".")) {
    if (piece.size() > 1 && piece[0] == '0') return false;
    if (piece.size() > 10 || std::stoull(piece) > 0x7FFFFFFFull) return false;
  }
  return true;
}

std::optional<int> CompareVersions(const std::string& a, const std::string& b) {
  if (!IsPublishableVersion(a) || !IsPublishableVersion(b)) return std::nullopt;
  const std::vector<std::string> left = SplitString(a, ".");
  const std::vector<std::string> right = SplitString(b, ".");
  for (size_t i = 0; i < 3; ++i) {
    const unsigned long long x = std::stoull(left[i]);
    const unsigned long long y = std::stoull(right[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool PatternCanMatch(const std::string& pattern) {
  // Installed versions come out of package names as digits only; a pattern piece that is neither
  // "x" nor digits can equal none of them.
  const std::vector<std::string> pieces = SplitString(pattern, ".");
  if (pieces.size() != 3) return false;
  std::string candidate;
  for (const std::string& piece : pieces) {
    if (piece != "x" && !AllDigits(piece)) return false;
    candidate += (candidate.empty() ? "" : ".") + (piece == "x" ? std::string("0") : piece);
  }
  return VersionMatches(pattern, candidate);
}

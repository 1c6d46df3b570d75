#include "publish/version_rules.h"

#include <algorithm>
#include <optional>
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
  return found.has_value() && *found == underscored;
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

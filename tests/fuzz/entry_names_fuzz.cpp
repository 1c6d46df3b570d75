// The entry-name checks and helpers on arbitrary names, against a plain model of how Windows and
// Linux resolve a relative name below a folder: a name that is let through never climbs out, and
// the helpers cut a name into pieces that give it back whole.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/safe_path.h"
#include "install/zip_util.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// What the file system makes of one piece: the C runtime stops at a zero byte, and Windows drops
// trailing dots and spaces.
std::string Resolved(std::string piece) {
  piece = piece.substr(0, piece.find('\0'));
  while (!piece.empty() && (piece.back() == '.' || piece.back() == ' ')) piece.pop_back();
  return piece;
}

// True when some prefix of the name, joined below a folder, resolves above that folder.
bool ClimbsOut(const std::string& name) {
  const std::string seen = name.substr(0, name.find('\0'));
  if (!seen.empty() && IsSeparator(seen[0])) return true;
  // A drive, relative ("c:x") or absolute ("c:\\x").
  if (seen.size() >= 2 && seen[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(seen[0])) != 0) {
    return true;
  }
  int depth = 0;
  std::string piece;
  for (size_t i = 0; i <= seen.size(); ++i) {
    if (i < seen.size() && !IsSeparator(seen[i])) {
      piece += seen[i];
      continue;
    }
    const bool dotsOnly = Resolved(piece).empty() && piece.find("..") != std::string::npos;
    if (dotsOnly) {
      if (--depth < 0) return true;
    } else if (!Resolved(piece).empty()) {
      ++depth;
    }
    piece.clear();
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);

  const bool outside = LeadsOutsideDestination(name);
  if (ClimbsOut(name)) FUZZ_CHECK(outside);
  if (IsContainedRelativePath(name)) FUZZ_CHECK(!outside);

  const std::string dirPart = DirPartOf(name);
  const std::string filePart = FilePartOf(name);
  FUZZ_CHECK(dirPart + filePart == name);
  FUZZ_CHECK(filePart.find_first_of("/\\") == std::string::npos);
  FUZZ_CHECK(dirPart.empty() || IsSeparator(dirPart.back()));

  std::string joined;
  for (const std::string& piece : SplitDirComponents(dirPart)) {
    FUZZ_CHECK(!piece.empty() && IsSeparator(piece.back()));
    joined += piece;
  }
  FUZZ_CHECK(joined == dirPart);
  return 0;
}

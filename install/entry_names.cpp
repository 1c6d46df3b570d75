#include "install/zip_util.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Index of the last separator of either kind, or npos.
std::string::size_type LastSeparator(const std::string& name) { return name.find_last_of("/\\"); }

}  // namespace

std::string DirPartOf(const std::string& name) {
  const auto last = LastSeparator(name);
  return last == std::string::npos ? std::string() : name.substr(0, last + 1);
}

std::string FilePartOf(const std::string& name) {
  const auto last = LastSeparator(name);
  return last == std::string::npos ? name : name.substr(last + 1);
}

std::vector<std::string> SplitDirComponents(const std::string& dirPart) {
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : dirPart) {
    piece += c;
    if (IsSeparator(c)) {
      pieces.push_back(std::move(piece));
      piece.clear();
    }
  }
  // A prefix from DirPartOf always ends in a separator; anything after the last one is kept
  // whole so that no text is dropped.
  if (!piece.empty()) pieces.push_back(std::move(piece));
  return pieces;
}

#include "fs/safe_path.h"

#include <cctype>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Windows drops trailing dots and spaces from a path piece, so "..." and ". ." may act as "..":
// any piece made only of dots and spaces with at least two dots counts as a parent reference.
bool IsParentPiece(const std::string& piece) {
  int dots = 0;
  for (char c : piece) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// A piece made only of dots and spaces names no folder of its own on Windows: "." or ".." once
// the trailing dots and spaces are dropped, or nothing at all.
bool IsDotsAndSpaces(const std::string& piece) {
  return piece.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

bool ClimbsAboveStart(const std::string& path) {
  int depth = 0;
  std::string piece;
  const auto endPiece = [&depth, &piece] {
    if (IsParentPiece(piece)) {
      --depth;
    } else if (!IsDotsAndSpaces(piece)) {
      ++depth;
    }
    piece.clear();
    return depth < 0;
  };
  for (char c : path) {
    if (!IsSeparator(c)) {
      piece += c;
    } else if (endPiece()) {
      return true;
    }
  }
  return endPiece();
}

bool LeadsOutsideDestination(const std::string& name) {
  if (name.empty()) return false;
  // The file system reads a name only up to a zero byte ("..\0x" opens ".."), so the pieces
  // checked below would not be the ones used.
  if (name.find('\0') != std::string::npos) return true;
  if (IsSeparator(name[0])) return true;
  if (name.size() >= 2 && name[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(name[0])) != 0) {
    return true;
  }
  std::string piece;
  for (char c : name) {
    if (IsSeparator(c)) {
      if (IsParentPiece(piece)) return true;
      piece.clear();
    } else {
      piece += c;
    }
  }
  return IsParentPiece(piece);
}

bool IsContainedRelativePath(const std::string& path) {
  // ':' never appears in a package path: on Windows it names a drive or a data stream.
  return !LeadsOutsideDestination(path) && path.find(':') == std::string::npos;
}

bool IsFileInFolder(const std::string& path, const std::string& folder) {
  if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 ||
      !IsSeparator(path[folder.size()]) || IsSeparator(path.back())) {
    return false;
  }
  const std::string rest = path.substr(folder.size() + 1);
  return IsContainedRelativePath(rest) && !ClimbsAboveStart(rest) && !IsDotsAndSpaces(rest);
}

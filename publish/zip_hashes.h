#pragma once
// The SHA-256 of a package's central directory and of each entry's bytes (local header, data,
// descriptor): what a launcher that fetches only changed entries checks them against.

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ZipHashes {
  std::string directorySha256;
  // Entry name and the hex digest of its span, in the directory's order.
  std::vector<std::pair<std::string, std::string>> entrySha256;
};

// Nothing when the archive's end records or directory cannot be read.
std::optional<ZipHashes> HashZipParts(const std::string& path);

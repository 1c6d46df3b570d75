#pragma once
// The SHA-256 of a package's central directory and of each entry's bytes (local header, data,
// descriptor): what a launcher that fetches only changed entries checks them against. Made from
// the bytes of the pass that digests the whole package, so a large package is read once.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "install/zip_directory.h"
#include "platform/sha256.h"

struct ZipHashes {
  std::string directorySha256;
  // Entry name and the hex digest of its span, in the directory's order.
  std::vector<std::pair<std::string, std::string>> entrySha256;
};

class ZipPartHasher {
 public:
  // The directory as ReadZipDirectoryOfFile gives it for the package about to be fed.
  explicit ZipPartHasher(std::vector<ZipDirectoryEntry> directory);
  // The package's bytes from its first on, in order, in pieces of any size.
  void Feed(const unsigned char* bytes, size_t size);
  // Nothing when a hash failed or the bytes ended before the last entry's.
  std::optional<ZipHashes> Finish();

 private:
  std::vector<ZipDirectoryEntry> directory_;
  std::vector<size_t> order_;  // directory indexes by span start
  std::vector<std::string> spanSha256_;
  size_t current_ = 0;     // in order_
  uint64_t position_ = 0;  // the next byte's offset in the package
  platform::Sha256 hash_;
  bool failed_ = false;
};

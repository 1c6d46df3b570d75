#pragma once
// Which byte ranges of a package file a download has written, and the small file beside the
// package that keeps them across runs. The package is written at each range's offset, so its
// length says nothing about what is there; while this file exists the package is unfinished.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Disjoint, non-touching [start, end) ranges.
class ByteRanges {
 public:
  void Add(uint64_t start, uint64_t end);
  // Where the range that starts at from ends; from itself when none covers it.
  uint64_t EndOfRunFrom(uint64_t from) const;
  // The first byte at or after from that no range covers, and where the uncovered stretch ends
  // (limit at most).
  std::pair<uint64_t, uint64_t> FirstGap(uint64_t from, uint64_t limit) const;
  uint64_t CoveredBytes() const;
  const std::map<uint64_t, uint64_t>& Ranges() const { return ranges_; }

 private:
  std::map<uint64_t, uint64_t> ranges_;  // start -> end
};

struct PackageParts {
  uint64_t packageBytes = 0;
  ByteRanges written;
};

// "<package>.parts".
std::string PackagePartsPath(const std::string& packagePath);

// Nothing when the file is missing or not one this launcher wrote.
std::optional<PackageParts> ReadPackageParts(const std::string& packagePath);

// Through a file of its own and a rename, so a kill leaves the previous list or this one.
bool SavePackageParts(const std::string& packagePath, const PackageParts& parts);

// The bytes a resumed download keeps: those the list names when it describes a package of
// zipBytes, else nothing (the caller goes by the file's length).
std::optional<uint64_t> KeptPackageBytes(const std::string& packagePath, uint64_t zipBytes);

#pragma once
// What is installed, per entry of the package that put it there: a later update keeps the files
// whose entry is unchanged and still on the disk as written, and fetches only the others.

#include <cstdint>
#include <string>
#include <vector>

#include "install/zip_directory.h"

struct ManifestEntry {
  std::string name;
  uint32_t crc32;
  uint64_t uncompressedBytes;
  uint64_t installedBytes;
  int64_t installedMtime;  // nanoseconds since 1970-01-01 UTC, as the file system reports it
};

// Empty when there is none or it cannot be read as a whole.
std::vector<ManifestEntry> ReadPackageManifest(const std::string& path);

// Stats every installed file of `entries` under installDir and writes the manifest; false on
// failure (then no manifest is left behind). A file in `kept` (left in place by a differential
// update) is written only while it still has the stamp given there.
bool WritePackageManifest(const std::string& path, const std::string& installDir,
                          const std::vector<ZipDirectoryEntry>& entries,
                          const std::vector<ManifestEntry>& kept = {});

#pragma once
// Which entries of a new package differ from what is installed, and the byte ranges of the
// archive that hold them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "install/package_manifest.h"
#include "install/zip_directory.h"

struct ByteRange { uint64_t start = 0, end = 0; };   // [start, end)

struct DeltaPlan {
  std::vector<size_t> fetched;      // indexes into the new directory: entries to fetch
  size_t kept = 0;                  // entries left as installed
  // The kept files as the plan saw them (the manifest's lines under the new names): a file that
  // changes after the plan is no longer what its entry describes.
  std::vector<ManifestEntry> keptFiles;
  std::vector<ByteRange> ranges;    // the fetched spans, neighbours closer than the gap merged
  uint64_t rangeBytes = 0;          // sum of range lengths (what the progress bar counts)
};

// An entry is kept when the manifest has the same name, CRC-32 and uncompressed size, the
// installed file (under installDir) still has the manifest's size and mtime and the mode the
// entry gives, and no other entry names the same file. Directory entries (names ending in '/')
// are kept when the folder exists.
DeltaPlan PlanDelta(const std::vector<ZipDirectoryEntry>& directory,
                    const std::vector<ManifestEntry>& manifest, const std::string& installDir,
                    uint64_t mergeGapBytes = 4096);

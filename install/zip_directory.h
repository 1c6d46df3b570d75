#pragma once
// A zip's end records and central directory read from bytes, without minizip: a differential
// update gets them from Range responses, before any of the archive is on the disk.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ZipTail {                       // what the end records say
  uint64_t directoryOffset = 0;        // start of the central directory in the archive
  uint64_t directoryBytes = 0;
  uint64_t entryCount = 0;
};

// Finds the end-of-central-directory record (and the Zip64 locator and record when present) in
// the last bytes of an archive of archiveBytes bytes; tail holds bytes
// [archiveBytes - tail.size(), archiveBytes). nullopt when malformed or not within tail.
std::optional<ZipTail> ParseZipTail(std::string_view tail, uint64_t archiveBytes);

// Suggested size of the first tail request (EOCD 22 + max comment 65535 + Zip64 locator 20 +
// Zip64 record 56).
inline constexpr uint64_t kZipTailBytes = 65535 + 22 + 20 + 56;

// Whether the directory the end records claim is one worth holding in memory: at most
// kMaxZipEntries entries, each record within a generous size, and kMaxZipDirectoryBytes in all.
// The end records are not covered by any hash, so a forged one could otherwise claim gigabytes.
inline constexpr uint64_t kMaxZipEntries = 1u << 20;
inline constexpr uint64_t kMaxZipDirectoryBytes = 64u << 20;
bool DirectoryWithinBounds(const ZipTail& tail);

struct ZipDirectoryEntry {
  std::string name;                    // as stored (UTF-8 when flagged, else as stored)
  uint32_t crc32 = 0;
  uint64_t compressedBytes = 0;
  uint64_t uncompressedBytes = 0;
  uint64_t localHeaderOffset = 0;
  // The entry's bytes in the archive: from its local header to the next entry's local header
  // (or the directory's start) — local header, data and descriptor. What a delta fetches.
  uint64_t spanStart = 0, spanEnd = 0;
  std::string centralRecord;           // the entry's central directory record, byte for byte
};

// Parses the directory bytes; checks every record (signatures, lengths, Zip64 extras, spans
// inside [0, directoryOffset), no overlapping spans). nullopt when anything is malformed.
std::optional<std::vector<ZipDirectoryEntry>> ParseZipDirectory(std::string_view directory,
                                                               const ZipTail& tail);

// Both steps on a local archive file (full installs write the manifest from this).
std::optional<std::vector<ZipDirectoryEntry>> ReadZipDirectoryOfFile(const std::string& path);

#include "install/zip_directory.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "fs/stdio_file.h"
#include "install/zip_fields.h"
#include "platform/file_seek.h"
#include "platform/files.h"

using namespace zip_fields;

namespace {

// The Zip64 end record the locator before the end record at endAt (an index into tail) points
// to; tailStart is the tail's offset in the archive.
std::optional<ZipTail> ParseZip64End(std::string_view tail, uint64_t tailStart, size_t endAt) {
  const size_t locatorAt = endAt - kZip64LocatorBytes;
  if (Le32(tail, locatorAt + 4) != 0 || Le32(tail, locatorAt + 16) > 1) return std::nullopt;
  const uint64_t recordOffset = Le64(tail, locatorAt + 8);
  if (recordOffset < tailStart) return std::nullopt;
  const uint64_t recordAt = recordOffset - tailStart;
  if (recordAt > locatorAt || locatorAt - recordAt < kZip64EndBytes) return std::nullopt;
  const size_t at = static_cast<size_t>(recordAt);
  if (Le32(tail, at) != kZip64EndSignature) return std::nullopt;
  // The record's own size leaves out its signature and this field; it must end by the locator.
  const uint64_t recordSize = Le64(tail, at + 4);
  if (recordSize < kZip64EndBytes - 12 || recordSize > locatorAt - at - 12) return std::nullopt;
  if (Le32(tail, at + 16) != 0 || Le32(tail, at + 20) != 0) return std::nullopt;
  ZipTail result;
  const uint64_t onDisk = Le64(tail, at + 24);
  result.entryCount = Le64(tail, at + 32);
  result.directoryBytes = Le64(tail, at + 40);
  result.directoryOffset = Le64(tail, at + 48);
  if (onDisk != result.entryCount) return std::nullopt;
  if (result.directoryOffset > recordOffset ||
      result.directoryBytes > recordOffset - result.directoryOffset) {
    return std::nullopt;
  }
  return result;
}

}  // namespace

std::optional<ZipTail> ParseZipTail(std::string_view tail, uint64_t archiveBytes) {
  if (tail.size() < kEndBytes || tail.size() > archiveBytes) return std::nullopt;
  const uint64_t tailStart = archiveBytes - tail.size();
  // The end record is the last one whose comment reaches exactly to the archive's end: a comment
  // may itself hold the signature.
  const size_t last = tail.size() - kEndBytes;
  const size_t lowest = last > kMore16 ? last - kMore16 : 0;
  for (size_t endAt = last + 1; endAt-- > lowest;) {
    if (Le32(tail, endAt) != kEndSignature || Le16(tail, endAt + 20) != last - endAt) continue;
    const uint16_t disk = Le16(tail, endAt + 4), directoryDisk = Le16(tail, endAt + 6);
    const uint16_t onDisk = Le16(tail, endAt + 8), total = Le16(tail, endAt + 10);
    const uint32_t bytes = Le32(tail, endAt + 12), offset = Le32(tail, endAt + 16);
    if (endAt >= kZip64LocatorBytes &&
        Le32(tail, endAt - kZip64LocatorBytes) == kZip64LocatorSignature) {
      return ParseZip64End(tail, tailStart, endAt);
    }
    // Saturated values without the Zip64 records that would hold them.
    if (total == kMore16 || bytes == kMore32 || offset == kMore32) return std::nullopt;
    if (disk != 0 || directoryDisk != 0 || onDisk != total) return std::nullopt;
    const uint64_t endOffset = tailStart + endAt;
    if (offset > endOffset || bytes > endOffset - offset) return std::nullopt;
    return ZipTail{offset, bytes, total};
  }
  return std::nullopt;
}

bool DirectoryWithinBounds(const ZipTail& tail) {
  // A central record's fixed part, a name far past the 511 bytes the extraction accepts, and
  // room for the extras and comment that ordinary tools write.
  constexpr uint64_t kMostRecordBytes = kCentralBytes + 2048;
  return tail.entryCount <= kMaxZipEntries && tail.directoryBytes <= kMaxZipDirectoryBytes &&
         tail.directoryBytes <= tail.entryCount * kMostRecordBytes;
}

std::optional<std::vector<ZipDirectoryEntry>> ParseZipDirectory(std::string_view directory,
                                                                const ZipTail& tail) {
  if (directory.size() != tail.directoryBytes) return std::nullopt;
  // Each record takes at least its fixed part: a larger count is a lie, not room to reserve.
  if (tail.entryCount > directory.size() / kCentralBytes) return std::nullopt;
  std::vector<ZipDirectoryEntry> entries;
  entries.reserve(static_cast<size_t>(tail.entryCount));
  size_t at = 0;
  for (uint64_t i = 0; i < tail.entryCount; ++i) {
    if (directory.size() - at < kCentralBytes || Le32(directory, at) != kCentralSignature) {
      return std::nullopt;
    }
    const size_t nameBytes = Le16(directory, at + kCentralNameBytesAt);
    const size_t recordBytes = kCentralBytes + nameBytes +
                               Le16(directory, at + kCentralExtraBytesAt) +
                               Le16(directory, at + 32);  // the comment's length
    if (directory.size() - at < recordBytes) return std::nullopt;
    const std::string_view record = directory.substr(at, recordBytes);
    const std::optional<Zip64Fields> zip64 = FindZip64Fields(record);
    if (!zip64) return std::nullopt;
    ZipDirectoryEntry entry;
    entry.crc32 = Le32(record, 16);
    entry.compressedBytes = zip64->compressedAt ? Le64(record, *zip64->compressedAt)
                                                : Le32(record, kCentralCompressedAt);
    entry.uncompressedBytes = zip64->uncompressedAt ? Le64(record, *zip64->uncompressedAt)
                                                    : Le32(record, kCentralUncompressedAt);
    entry.localHeaderOffset =
        zip64->offsetAt ? Le64(record, *zip64->offsetAt) : Le32(record, kCentralOffsetAt);
    const uint32_t disk =
        zip64->diskAt ? Le32(record, *zip64->diskAt) : Le16(record, kCentralDiskAt);
    if (disk != 0) return std::nullopt;
    entry.name.assign(record.substr(kCentralBytes, nameBytes));
    entry.centralRecord.assign(record);
    entries.push_back(std::move(entry));
    at += recordBytes;
  }
  if (at != directory.size()) return std::nullopt;

  // Spans run from each local header to the next one in the archive, the last to the directory.
  std::vector<ZipDirectoryEntry*> byOffset;
  byOffset.reserve(entries.size());
  for (ZipDirectoryEntry& entry : entries) byOffset.push_back(&entry);
  std::sort(byOffset.begin(), byOffset.end(), [](const auto* a, const auto* b) {
    return a->localHeaderOffset < b->localHeaderOffset;
  });
  for (size_t i = 0; i < byOffset.size(); ++i) {
    ZipDirectoryEntry& entry = *byOffset[i];
    entry.spanStart = entry.localHeaderOffset;
    entry.spanEnd =
        i + 1 < byOffset.size() ? byOffset[i + 1]->localHeaderOffset : tail.directoryOffset;
    if (entry.spanEnd > tail.directoryOffset || entry.spanEnd <= entry.spanStart) {
      return std::nullopt;
    }
    // The local header repeats the name; the data must end inside the span, not in the next one.
    const uint64_t least = kLocalHeaderBytes + entry.name.size();
    const uint64_t spanBytes = entry.spanEnd - entry.spanStart;
    if (spanBytes < least || spanBytes - least < entry.compressedBytes) return std::nullopt;
  }
  return entries;
}

namespace {

bool ReadAt(std::FILE* file, uint64_t offset, uint64_t size, std::string& bytes) {
  if (size > std::numeric_limits<size_t>::max() || !platform::SeekFromStart(file, offset)) {
    return false;
  }
  bytes.resize(static_cast<size_t>(size));
  return std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

std::optional<std::vector<ZipDirectoryEntry>> ReadZipDirectoryOfFile(const std::string& path) {
  const uint64_t archiveBytes = platform::FileSize(path);
  const FilePtr file(platform::OpenFile(path, "rb"));
  if (file == nullptr) return std::nullopt;
  const uint64_t tailBytes = std::min(archiveBytes, kZipTailBytes);
  std::string bytes;
  if (!ReadAt(file.get(), archiveBytes - tailBytes, tailBytes, bytes)) return std::nullopt;
  const std::optional<ZipTail> tail = ParseZipTail(bytes, archiveBytes);
  if (!tail || !DirectoryWithinBounds(*tail) ||
      !ReadAt(file.get(), tail->directoryOffset, tail->directoryBytes, bytes)) {
    return std::nullopt;
  }
  return ParseZipDirectory(bytes, *tail);
}

// ParseZipTail and ParseZipDirectory on arbitrary archive ends, as Range responses may bring them:
// what they accept must describe an archive whose entries' spans a delta can fetch safely.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "install/zip_directory.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<ZipTail> tail = ParseZipTail(bytes, size);
  if (!tail) return 0;
  FUZZ_CHECK(tail->directoryOffset <= size && tail->directoryBytes <= size - tail->directoryOffset);
  const std::string_view directory =
      bytes.substr(static_cast<size_t>(tail->directoryOffset), static_cast<size_t>(tail->directoryBytes));
  const std::optional<std::vector<ZipDirectoryEntry>> entries = ParseZipDirectory(directory, *tail);
  if (!entries) return 0;
  FUZZ_CHECK(entries->size() == tail->entryCount);
  uint64_t recordBytes = 0;
  for (const ZipDirectoryEntry& entry : *entries) {
    recordBytes += entry.centralRecord.size();
    FUZZ_CHECK(entry.spanStart == entry.localHeaderOffset);
    FUZZ_CHECK(entry.spanStart < entry.spanEnd && entry.spanEnd <= tail->directoryOffset);
    FUZZ_CHECK(entry.spanEnd - entry.spanStart >= 30 + entry.name.size() + entry.compressedBytes);
    for (const ZipDirectoryEntry& other : *entries) {
      FUZZ_CHECK(&other == &entry || other.spanEnd <= entry.spanStart ||
                 entry.spanEnd <= other.spanStart);
    }
  }
  FUZZ_CHECK(recordBytes == tail->directoryBytes);
  return 0;
}

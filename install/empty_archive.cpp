#include "install/empty_archive.h"

#include <cstdint>
#include <cstring>

#include "platform/files.h"

namespace {

constexpr size_t kEndRecordBytes = 22;
constexpr size_t kLongestComment = 0xFFFF;

uint32_t Little(const unsigned char* bytes, int width) {
  uint32_t value = 0;
  for (int k = width - 1; k >= 0; --k) value = (value << 8) | bytes[k];
  return value;
}

}  // namespace

bool IsEmptyZipArchive(const std::string& path) {
  const uint64_t size = platform::FileSize(path);
  if (size < kEndRecordBytes || size > kEndRecordBytes + kLongestComment) return false;
  platform::InputFile file;
  if (!file.Open(path)) return false;
  unsigned char record[kEndRecordBytes];
  size_t got = 0;
  while (got < kEndRecordBytes) {
    const int64_t n = file.Read(record + got, kEndRecordBytes - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  if (std::memcmp(record, "PK\x05\x06", 4) != 0) return false;
  // Disk numbers, both entry counts, directory size and offset: all zero.
  for (size_t at = 4; at < 20; ++at) {
    if (record[at] != 0) return false;
  }
  return Little(record + 20, 2) == size - kEndRecordBytes;
}

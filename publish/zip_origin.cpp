#include "publish/zip_origin.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "fs/stdio_file.h"
#include "platform/file_seek.h"

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr size_t kEndBytes = 22;
constexpr size_t kZip64LocatorBytes = 20;
constexpr size_t kCentralHeaderBytes = 46;
constexpr unsigned char kUnixOrigin = 3;

uint64_t Le(const unsigned char* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

bool ReadAt(std::FILE* file, uint64_t offset, unsigned char* buffer, size_t size) {
  return platform::SeekFromStart(file, offset) &&
         std::fread(buffer, 1, size, file) == size;
}

}  // namespace

bool MarkEntriesMadeOnUnix(const std::string& zipPath, std::string* error) {
  *error = "unexpected layout of " + zipPath;
  std::error_code failure;
  const uint64_t size = std::filesystem::file_size(zipPath, failure);
  FilePtr file(std::fopen(zipPath.c_str(), "r+b"));
  if (failure || file == nullptr || size < kEndBytes) return false;
  const uint64_t endAt = size - kEndBytes;
  unsigned char end[kEndBytes];
  if (!ReadAt(file.get(), endAt, end, sizeof end) || Le(end, 4) != kEndSignature) return false;
  uint64_t centralAt = Le(end + 16, 4);
  uint64_t centralBytes = Le(end + 12, 4);
  if (centralAt == 0xFFFFFFFFu || centralBytes == 0xFFFFFFFFu || Le(end + 10, 2) == 0xFFFF) {
    unsigned char locator[kZip64LocatorBytes];
    if (endAt < kZip64LocatorBytes ||
        !ReadAt(file.get(), endAt - kZip64LocatorBytes, locator, sizeof locator) ||
        Le(locator, 4) != kZip64LocatorSignature) {
      return false;
    }
    unsigned char zip64End[56];
    if (!ReadAt(file.get(), Le(locator + 8, 8), zip64End, sizeof zip64End) ||
        Le(zip64End, 4) != kZip64EndSignature) {
      return false;
    }
    centralBytes = Le(zip64End + 40, 8);
    centralAt = Le(zip64End + 48, 8);
  }
  if (centralAt + centralBytes > endAt) return false;
  std::vector<unsigned char> central(centralBytes);
  if (!ReadAt(file.get(), centralAt, central.data(), central.size())) return false;
  for (size_t at = 0; at < central.size();) {
    if (at + kCentralHeaderBytes > central.size() || Le(&central[at], 4) != kCentralSignature) {
      return false;
    }
    central[at + 5] = kUnixOrigin;  // the high byte of "version made by"
    at += kCentralHeaderBytes + Le(&central[at + 28], 2) + Le(&central[at + 30], 2) +
          Le(&central[at + 32], 2);
  }
  if (!platform::SeekFromStart(file.get(), centralAt) ||
      std::fwrite(central.data(), 1, central.size(), file.get()) != central.size() ||
      !CloseFile(file)) {
    *error = "cannot write " + zipPath;
    return false;
  }
  error->clear();
  return true;
}

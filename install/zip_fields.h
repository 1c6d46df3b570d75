#pragma once
// Little-endian fields of zip records, and where a central record keeps its Zip64 values: what
// the directory reader and the delta archive's writer share.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zip_fields {

inline constexpr uint32_t kLocalSignature = 0x04034b50;
inline constexpr uint32_t kCentralSignature = 0x02014b50;
inline constexpr uint32_t kEndSignature = 0x06054b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr size_t kLocalHeaderBytes = 30;
inline constexpr size_t kCentralBytes = 46;
inline constexpr size_t kEndBytes = 22;
inline constexpr size_t kZip64LocatorBytes = 20;
inline constexpr size_t kZip64EndBytes = 56;
inline constexpr uint16_t kZip64ExtraId = 0x0001;
// A saturated field: the value is in the Zip64 extra field or record.
inline constexpr uint32_t kMore32 = 0xFFFFFFFFu;
inline constexpr uint16_t kMore16 = 0xFFFFu;

// Offsets of fields inside a central record.
inline constexpr size_t kCentralCompressedAt = 20;
inline constexpr size_t kCentralUncompressedAt = 24;
inline constexpr size_t kCentralNameBytesAt = 28;
inline constexpr size_t kCentralExtraBytesAt = 30;
inline constexpr size_t kCentralDiskAt = 34;
inline constexpr size_t kCentralOffsetAt = 42;

inline uint16_t Le16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                               static_cast<uint8_t>(bytes[at + 1]) << 8);
}

inline uint32_t Le32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(Le16(bytes, at)) | static_cast<uint32_t>(Le16(bytes, at + 2)) << 16;
}

inline uint64_t Le64(std::string_view bytes, size_t at) {
  return static_cast<uint64_t>(Le32(bytes, at)) | static_cast<uint64_t>(Le32(bytes, at + 4)) << 32;
}

inline void Put(std::string& bytes, size_t at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

inline void Append(std::string& bytes, uint64_t value, size_t width) {
  bytes.append(width, '\0');
  Put(bytes, bytes.size() - width, value, width);
}

// Where in a central record (index from the record's start) the Zip64 extra field keeps its
// values, as far as the record's saturated fields ask for them.
struct Zip64Fields {
  std::optional<size_t> uncompressedAt, compressedAt, offsetAt, diskAt;
};

// Nothing when the extra fields are malformed (a block running past the end) or a saturated
// field has no value in them. The record must be whole (46 bytes, name, extra, comment).
std::optional<Zip64Fields> FindZip64Fields(std::string_view record);

}  // namespace zip_fields

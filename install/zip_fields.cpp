#include "install/zip_fields.h"

namespace zip_fields {

std::optional<Zip64Fields> FindZip64Fields(std::string_view record) {
  const bool wantUncompressed = Le32(record, kCentralUncompressedAt) == kMore32;
  const bool wantCompressed = Le32(record, kCentralCompressedAt) == kMore32;
  const bool wantOffset = Le32(record, kCentralOffsetAt) == kMore32;
  const bool wantDisk = Le16(record, kCentralDiskAt) == kMore16;
  const size_t extraStart = kCentralBytes + Le16(record, kCentralNameBytesAt);
  const size_t extraEnd = extraStart + Le16(record, kCentralExtraBytesAt);
  Zip64Fields fields;
  bool found = false;
  for (size_t at = extraStart; at < extraEnd;) {
    if (extraEnd - at < 4) return std::nullopt;
    const uint16_t id = Le16(record, at);
    const size_t size = Le16(record, at + 2);
    at += 4;
    if (extraEnd - at < size) return std::nullopt;
    // The format gives the values in this order, each only when its field is saturated.
    if (id == kZip64ExtraId && !found) {
      found = true;
      const size_t needed = (wantUncompressed ? 8 : 0) + (wantCompressed ? 8 : 0) +
                            (wantOffset ? 8 : 0) + (wantDisk ? 4 : 0);
      if (size < needed) return std::nullopt;
      size_t field = at;
      if (wantUncompressed) fields.uncompressedAt = field, field += 8;
      if (wantCompressed) fields.compressedAt = field, field += 8;
      if (wantOffset) fields.offsetAt = field, field += 8;
      if (wantDisk) fields.diskAt = field;
    }
    at += size;
  }
  if ((wantUncompressed || wantCompressed || wantOffset || wantDisk) && !found) return std::nullopt;
  return fields;
}

}  // namespace zip_fields

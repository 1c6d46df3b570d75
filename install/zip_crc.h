#pragma once
// The CRC-32 zip entries declare (zlib's), at the speed of carry-less multiplication where the
// processor has it: zlib's own runs at a third of the inflater's output and was a tenth of the
// stage's time.

#include <cstddef>
#include <cstdint>

// crc: 0 to begin, else what the previous call returned.
uint32_t ZipCrc32(uint32_t crc, const char* data, size_t size);

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <string>

#include "install/zip_crc.h"
#include "tests/support/zip_builder.h"

using testing_support::IncompressibleBytes;

// Every length around the fast path's steps (64 to begin, 16 after), at every alignment, and in
// pieces: the same value as zlib's.
TEST(ZipCrcTest, MatchesZlibForEveryLengthAlignmentAndSplit) {
  const std::string bytes = IncompressibleBytes(4096 + 64);
  for (size_t offset = 0; offset < 16; offset += 5) {
    for (size_t size : {0, 1, 15, 16, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 4096}) {
      const char* data = bytes.data() + offset;
      const auto expected = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
      EXPECT_EQ(ZipCrc32(0, data, size), expected) << size << " bytes at " << offset;
      const size_t half = size / 2 + 3 > size ? size : size / 2 + 3;
      EXPECT_EQ(ZipCrc32(ZipCrc32(0, data, half), data + half, size - half), expected)
          << size << " bytes at " << offset << " in two";
    }
  }
}

// A download writes pieces at their offsets while the digests read the same stream back: what
// one wrote, the other must read, whatever the stream had buffered.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fs/stdio_file.h"
#include "platform/file_seek.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;

namespace {

class FileSeekTest : public InTempDir {};

std::string ReadAt(std::FILE* file, uint64_t offset, size_t size) {
  std::string bytes(size, '\0');
  EXPECT_EQ(std::fflush(file), 0);
  EXPECT_TRUE(platform::SeekFromStart(file, offset));
  bytes.resize(std::fread(bytes.data(), 1, size, file));
  return bytes;
}

}  // namespace

TEST_F(FileSeekTest, WritesAtOffsetsAreReadBackThroughTheStreamThatBufferedTheOldBytes) {
  FilePtr file(platform::OpenFile("p.bin", "wb+"));
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(platform::WriteAt(file.get(), 0, "........", 8));
  EXPECT_EQ(ReadAt(file.get(), 0, 2), "..");  // the stream buffers the rest
  ASSERT_TRUE(platform::WriteAt(file.get(), 2, "ab", 2));
  ASSERT_TRUE(platform::WriteAt(file.get(), 10, "cd", 2));  // past the end: a gap of zeros
  EXPECT_EQ(ReadAt(file.get(), 0, 12), std::string("..ab....\0\0cd", 12));
  file.reset();
  EXPECT_EQ(ReadFile("p.bin"), std::string("..ab....\0\0cd", 12));
}

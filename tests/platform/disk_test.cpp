#include "platform/disk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "fs/stdio_file.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;

namespace {

namespace fs = std::filesystem;

class DiskTest : public InTempDir {};

TEST_F(DiskTest, FreeBytesAgreeWithTheStandardLibrary) {
  fs::create_directory("folder");
  const std::optional<uint64_t> ours = platform::FreeDiskBytes("folder");
  const uint64_t theirs = fs::space("folder").available;
  ASSERT_TRUE(ours.has_value());
  EXPECT_GT(*ours, 0u);
  // Other programs write to the same disk meanwhile: agree within 64 MiB.
  const uint64_t apart = *ours > theirs ? *ours - theirs : theirs - *ours;
  EXPECT_LT(apart, uint64_t{64} << 20) << *ours << " against " << theirs;
}

TEST_F(DiskTest, NothingIsKnownOfAMissingPath) {
  EXPECT_FALSE(platform::FreeDiskBytes("no/such/folder").has_value());
}

TEST_F(DiskTest, FlushedBytesAreInTheFileBeforeItIsClosed) {
  FilePtr file(std::fopen("flushed.bin", "wb"));
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite("on the disk", 1, 11, file.get()), 11u);

  EXPECT_TRUE(platform::FlushFileToDisk(file.get()));

  EXPECT_EQ(ReadFile("flushed.bin"), "on the disk");
}

TEST_F(DiskTest, FlushOfAWriteThatCannotLandFails) {
  FilePtr file(std::fopen("/dev/full", "wb"));
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite("lost", 1, 4, file.get()), 4u);  // still in the stream's buffer

  EXPECT_FALSE(platform::FlushFileToDisk(file.get()));
}

TEST_F(DiskTest, SyncOfAFolderAndOfAMissingOne) {
  fs::create_directory("folder");
  EXPECT_TRUE(platform::SyncFileSystem("folder"));
  EXPECT_FALSE(platform::SyncFileSystem("no/such/folder"));
}

}  // namespace

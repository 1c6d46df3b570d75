// The disk backend on Windows: GetDiskFreeSpaceExW for a path in the ANSI code page, and
// FlushFileBuffers under a C stream.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "fs/stdio_file.h"
#include "platform/disk.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;

namespace {

namespace fs = std::filesystem;

class DiskWin32 : public InTempDir {};

TEST_F(DiskWin32, FreeBytesOfAChineseFolderAgreeWithTheStandardLibrary) {
  const std::string folder = "\xd3\xce\xcf\xb7";  // "游戏" in code page 936
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::optional<uint64_t> ours = platform::FreeDiskBytes(folder);
  const uint64_t theirs = fs::space(".").available;
  ASSERT_TRUE(ours.has_value());
  EXPECT_GT(*ours, 0u);
  const uint64_t apart = *ours > theirs ? *ours - theirs : theirs - *ours;
  EXPECT_LT(apart, uint64_t{64} << 20) << *ours << " against " << theirs;
  EXPECT_FALSE(platform::FreeDiskBytes("no\\such\\folder").has_value());
}

TEST_F(DiskWin32, FlushedBytesAreInTheFileBeforeItIsClosed) {
  FilePtr file(std::fopen("flushed.bin", "wb"));
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite("on the disk", 1, 11, file.get()), 11u);

  EXPECT_TRUE(platform::FlushFileToDisk(file.get()));

  EXPECT_EQ(ReadFile("flushed.bin"), "on the disk");
  EXPECT_TRUE(platform::SyncFileSystem("."));
}

}  // namespace

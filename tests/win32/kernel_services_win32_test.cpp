// The kernel-side backends on Windows: the "A" file functions, 64-bit sizes and seeks, the clocks
// and the code-page conversions under the ANSI code page 936 of these runs.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_seek.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::WriteFile;

namespace {

class FilesWin32 : public InTempDir {};

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

// A file of the size without writing its bytes (the file system keeps it sparse where it can).
bool MakeFileOfSize(const std::string& path, int64_t size) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at{};
  at.QuadPart = size;
  const bool ok = ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  return ok;
}

}  // namespace

TEST_F(FilesWin32, AttributesSizesAndListingsComeFromTheAnsiCalls) {
  WriteFile("dir/five.txt", "12345");
  EXPECT_EQ(platform::FileAttributes("missing"), platform::kInvalidFileAttributes);
  EXPECT_TRUE(platform::DirectoryExists("dir"));
  EXPECT_FALSE(platform::DirectoryExists("dir\\five.txt"));
  EXPECT_TRUE(platform::PathExists("dir\\five.txt"));
  EXPECT_EQ(platform::FileSize("dir/five.txt"), 5u);
  EXPECT_EQ(platform::FileSize("missing"), 0u);

  std::vector<std::string> names;
  for (const platform::DirEntry& entry : platform::ListDirectory("dir")) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "five.txt"}));
  EXPECT_TRUE(platform::ListDirectory("missing").empty());
}

TEST_F(FilesWin32, SizesAndSeeksPastFourGibibytesDoNotWrap) {
  ASSERT_TRUE(MakeFileOfSize("huge.bin", (5LL << 30) + 3));
  EXPECT_EQ(platform::FileSize("huge.bin"), (5ULL << 30) + 3);

  std::FILE* file = std::fopen("huge.bin", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(platform::SeekFromStart(file, (5ULL << 30) + 1));
  EXPECT_EQ(::_ftelli64(file), (5LL << 30) + 1);
  std::fclose(file);
}

TEST_F(FilesWin32, DirectoriesAreMadeOneLevelAtATimeAndRemovedWhenEmpty) {
  EXPECT_EQ(platform::MakeDirectory("one"), platform::MakeDirResult::Created);
  EXPECT_EQ(platform::MakeDirectory("one"), platform::MakeDirResult::AlreadyExists);
  EXPECT_EQ(platform::MakeDirectory("two\\three"), platform::MakeDirResult::Failed);
  EXPECT_EQ(platform::LastErrorCode(), ERROR_PATH_NOT_FOUND);

  WriteFile("one/file.txt", "x");
  EXPECT_FALSE(platform::RemoveEmptyDirectory("one"));
  EXPECT_FALSE(platform::RemoveFile("one"));  // DeleteFileA refuses a directory
  EXPECT_TRUE(platform::RemoveFile("one\\file.txt"));
  EXPECT_TRUE(platform::RemoveEmptyDirectory("one"));
  EXPECT_FALSE(platform::PathExists("one"));
}

TEST_F(FilesWin32, InputFileReadsEverythingAndRefusesDirectories) {
  const std::string content(300000, 'q');
  WriteFile("data.bin", content);
  platform::InputFile file;
  ASSERT_TRUE(file.Open("data.bin"));
  std::string read;
  char buffer[65536];
  for (int64_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  EXPECT_EQ(read, content);
  file.Close();
  EXPECT_FALSE(file.IsOpen());

  WriteFile("folder/x", "x");
  EXPECT_FALSE(file.Open("folder"));
  EXPECT_FALSE(file.Open("missing"));
  EXPECT_EQ(platform::LastErrorCode(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesWin32, LastWriteTimeAndWorkingDirectory) {
  const int64_t before = platform::UtcNowMs();
  WriteFile("fresh.txt", "f");
  const std::optional<int64_t> written = platform::LastWriteTimeMs("fresh.txt");
  ASSERT_TRUE(written.has_value());
  EXPECT_LE(std::llabs(*written - before), 5000);
  EXPECT_FALSE(platform::LastWriteTimeMs("missing").has_value());

  char current[MAX_PATH] = {};
  ::GetCurrentDirectoryA(sizeof current, current);
  EXPECT_EQ(platform::WorkingDirectory(), current);
  EXPECT_EQ(platform::WorkingDirectory(), dir());
}

TEST(ClockWin32, WallClockCountersAndSleep) {
  const int64_t now = platform::UtcNowMs();
  EXPECT_LE(std::llabs(now - static_cast<int64_t>(std::time(nullptr)) * 1000), 2000);

  EXPECT_GT(platform::PerformanceFrequency(), 0);
  const int64_t start = platform::PerformanceCounter();
  const uint32_t ticks = platform::TickCountMs();
  platform::SleepMs(100);
  const double seconds = static_cast<double>(platform::PerformanceCounter() - start) /
                         static_cast<double>(platform::PerformanceFrequency());
  EXPECT_GE(seconds, 0.09);
  // The tick count moves in steps of about 16 ms: two steps of slack at either end.
  EXPECT_GE(platform::TickCountMs() - ticks, 60u);
}

TEST(TextEncodingWin32, GbkUtf8AndTheAnsiCodePage) {
  ASSERT_EQ(::GetACP(), 936u) << "the tests run under a zh_CN locale";
  const std::string utf8 = Utf8(u8"启动应用中");
  const std::string gbk = "启动应用中";  // built-in literals are GBK bytes
  EXPECT_EQ(platform::Utf8ToGbk(utf8), gbk);
  EXPECT_EQ(platform::GbkToUtf8(gbk), utf8);
  EXPECT_EQ(platform::Utf8ToNarrow(utf8), gbk);
  EXPECT_EQ(platform::GbkToDisplay(gbk), gbk);
  EXPECT_EQ(platform::GbkToUtf8(""), "");
  EXPECT_EQ(platform::Utf8ToGbk("plain ascii"), "plain ascii");
}

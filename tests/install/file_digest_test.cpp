#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "install/file_digest.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::WriteFile;

namespace {

class FileDigestTest : public InTempDir {};

std::string OpensslMd5(const std::string& path) {
  std::string command = "openssl dgst -md5 -r '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char buffer[128] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  ::pclose(pipe);
  return std::string(buffer, n).substr(0, 32);
}

}  // namespace

TEST_F(FileDigestTest, KnownVectorsAndTheLogLine) {
  WriteFile("empty", "");
  WriteFile("abc", "abc");
  testing::internal::CaptureStdout();
  EXPECT_EQ(FileMd5("empty"), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(FileMd5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "d41d8cd98f00b204e9800998ecf8427e\n900150983cd24fb0d6963f7d28e17f72\n");
}

TEST_F(FileDigestTest, MultiChunkFileMatchesOpenssl) {
  std::mt19937 random(7);
  std::string content(3 * 1024 * 1024 + 7, '\0');
  for (char& c : content) c = static_cast<char>(random());
  WriteFile("big.bin", content);
  const std::string expected = OpensslMd5("big.bin");
  ASSERT_EQ(expected.size(), 32u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(FileMd5("big.bin"), expected);
  testing::internal::GetCapturedStdout();
}

TEST_F(FileDigestTest, MissingFileLogsTheOpenFailureOnlyWhenAskedDirectly) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(FileMd5IfExists("missing.zip"), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  testing::internal::CaptureStdout();
  EXPECT_EQ(FileMd5("missing.zip"), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "CreateFile go wrong :2\n");
}

TEST_F(FileDigestTest, DirectoryHasNoDigest) {
  WriteFile("folder/x", "x");
  testing::internal::CaptureStdout();
  EXPECT_EQ(FileMd5IfExists("folder"), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("CreateFile go wrong :", 0), 0u);
}

TEST_F(FileDigestTest, SizeIsSixtyFourBitAndZeroWhenMissing) {
  EXPECT_EQ(FileSize64("missing"), 0u);
  WriteFile("five", "12345");
  EXPECT_EQ(FileSize64("five"), 5u);
  // A sparse file past 4 GiB: its size must not wrap to the low 32 bits.
  WriteFile("huge", "");
  ASSERT_EQ(::truncate("huge", 5LL << 30), 0);
  EXPECT_EQ(FileSize64("huge"), 5ULL << 30);
}

TEST_F(FileDigestTest, Sha256KnownVectorsAndAMultiChunkFileAsSha256sumSeesThem) {
  WriteFile("empty", "");
  WriteFile("abc", "abc");
  std::mt19937 random(11);
  std::string content(2 * 1024 * 1024 + 13, '\0');
  for (char& c : content) c = static_cast<char>(random());
  WriteFile("big.bin", content);
  FILE* pipe = ::popen("sha256sum big.bin", "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[128] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  ::pclose(pipe);
  const std::string expected = std::string(buffer, n).substr(0, 64);

  testing::internal::CaptureStdout();
  EXPECT_EQ(FileSha256("empty"), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(FileSha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(FileSha256("big.bin"), expected);
  EXPECT_EQ(FileSha256("missing.zip"), "");
  // One read feeds both: each digest must still see every chunk, in order.
  const PackageDigests both = FileMd5AndSha256("big.bin");
  EXPECT_EQ(both.md5, FileMd5("big.bin"));
  EXPECT_EQ(both.sha256, expected);
  const PackageDigests none = FileMd5AndSha256("missing.zip");
  EXPECT_EQ(none.md5, "");
  EXPECT_EQ(none.sha256, "");
  testing::internal::GetCapturedStdout();
}

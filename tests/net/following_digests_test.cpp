// The digests that follow a file's prefix on their own thread: told in steps as the file is
// written, they describe exactly its first bytes, and a file that cannot back what was told
// loses them rather than naming bytes nobody read.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fs/stdio_file.h"
#include "net/following_digests.h"
#include "platform/files.h"
#include "tests/support/published_game.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Bytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 1021) & 0xFF);
  return bytes;
}

struct Case {
  const char* name;
  size_t size;
  std::vector<size_t> steps;  // how far the file is written (and told) before each Grown
  size_t toldPast = 0;        // Finish asks for this many bytes more than were written
  bool sha256 = false;
};

class FollowingDigestsTest : public testing::TestWithParam<Case> {};

TEST_P(FollowingDigestsTest, DescribeTheWrittenPrefixOrNothing) {
  const Case& c = GetParam();
  testing_support::TempDir dir;
  const std::string path = dir.path() + "/package.zip";
  const std::string bytes = Bytes(c.size);
  FilePtr file(platform::OpenFile(path, "wb"));
  ASSERT_NE(file, nullptr);
  FollowingDigests digests(path, c.sha256);
  size_t written = 0;
  for (size_t step : c.steps) {
    ASSERT_EQ(std::fwrite(bytes.data() + written, 1, step - written, file.get()), step - written);
    ASSERT_EQ(std::fflush(file.get()), 0);
    written = step;
    digests.Grown(step);
  }
  const std::optional<DownloadDigests> made = digests.Finish(c.size + c.toldPast);
  if (c.toldPast != 0) {
    EXPECT_FALSE(made.has_value());
    return;
  }
  ASSERT_TRUE(made.has_value());
  EXPECT_EQ(made->md5, testing_support::Md5Hex(bytes));
  EXPECT_EQ(made->sha256, c.sha256 ? testing_support::Sha256Hex(bytes) : "");
}

constexpr size_t kMiB = 1u << 20;

INSTANTIATE_TEST_SUITE_P(
    Cases, FollowingDigestsTest,
    testing::Values(Case{"Empty", 0, {}},
                    Case{"OneStep", 100000, {100000}},
                    Case{"ManyStepsPastTheReadStep", 9 * kMiB + 5, {1, 3 * kMiB, 3 * kMiB + 7, 9 * kMiB + 5}},
                    Case{"WithSha256", 5 * kMiB + 1, {2 * kMiB, 5 * kMiB + 1}, 0, true},
                    Case{"ToldPastTheFile", 2 * kMiB, {2 * kMiB}, 1},
                    Case{"NeverWrittenButTold", 0, {}, 4096}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

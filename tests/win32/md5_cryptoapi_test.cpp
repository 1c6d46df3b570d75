// The CryptoAPI digest against Linux's md5sum on the same bytes: make_md5_fixtures.sh writes the
// files and md5sum's list before this suite runs.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "install/file_digest.h"

namespace {

struct Expected {
  std::string digest;  // hex, as md5sum or sha256sum prints it
  std::string name;
};

std::vector<Expected> ReadLinuxList(const std::string& path) {
  std::vector<Expected> list;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Expected item;
    fields >> item.digest >> item.name;
    if (!item.name.empty() && item.name[0] == '*') item.name.erase(0, 1);  // md5sum's binary mark
    if (!item.digest.empty()) list.push_back(item);
  }
  return list;
}

}  // namespace

TEST(Md5CryptoApi, DigestsEqualLinuxMd5sumOnTheSameFiles) {
  const std::string dir = std::string(TIDEWAKE_TEST_BINARY_DIR) + "/md5-fixtures";
  const std::vector<Expected> list = ReadLinuxList(dir + "/linux.md5");
  ASSERT_GE(list.size(), 5u) << "no fixture list in " << dir;
  for (const Expected& item : list) {
    testing::internal::CaptureStdout();
    const std::string digest = FileMd5(dir + "\\" + item.name);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(digest, item.digest) << item.name;
    EXPECT_EQ(printed, item.digest + "\n") << item.name;
  }
}

// The same files through CryptoAPI's SHA-256 (the RSA/AES provider) against sha256sum.
TEST(Sha256CryptoApi, DigestsEqualLinuxSha256sumOnTheSameFiles) {
  const std::string dir = std::string(TIDEWAKE_TEST_BINARY_DIR) + "/md5-fixtures";
  const std::vector<Expected> list = ReadLinuxList(dir + "/linux.sha256");
  ASSERT_GE(list.size(), 5u) << "no fixture list in " << dir;
  for (const Expected& item : list) {
    testing::internal::CaptureStdout();
    const std::string digest = FileSha256(dir + "\\" + item.name);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(digest, item.digest) << item.name;
  }
}

TEST(Md5CryptoApi, MissingFileLogsTheWindowsErrorCode) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(FileMd5("Z:\\no\\such\\file.zip"), "");
  // ERROR_PATH_NOT_FOUND (3): the folder is missing too.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "CreateFile go wrong :3\n");
}

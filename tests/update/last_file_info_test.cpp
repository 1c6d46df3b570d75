// The fileInfo cache the check leaves pending, written once at launch.

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "update/check.h"

using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {
class LastFileInfoTest : public InTempDir {};
}  // namespace

TEST_F(LastFileInfoTest, SaveLastFileInfoNeedsFiveBytesOfPathAndHundredOfText) {
  WriteFile("Kelpstone/.keep", "");
  Check::lastFileInfoPath = "Kelpstone/fileInfo_1_0_0.json";
  Check::lastFileInfoText = std::string(99, 't');
  Check::SaveLastFileInfo();
  EXPECT_FALSE(platform::PathExists("Kelpstone/fileInfo_1_0_0.json"));
  EXPECT_EQ(Check::lastFileInfoText.size(), 99u);

  Check::lastFileInfoText = std::string(100, 't') + "\n";
  Check::SaveLastFileInfo();
  EXPECT_EQ(ReadFile("Kelpstone/fileInfo_1_0_0.json"), std::string(100, 't') + "\r\n");
  EXPECT_EQ(Check::lastFileInfoText, "");
  EXPECT_EQ(Check::lastFileInfoPath, "");

  Check::lastFileInfoPath = "abcd";
  Check::lastFileInfoText = std::string(200, 't');
  Check::SaveLastFileInfo();
  EXPECT_FALSE(platform::PathExists("abcd"));
  Check::lastFileInfoPath.clear();
  Check::lastFileInfoText.clear();
}

TEST_F(LastFileInfoTest, SaveLastFileInfoLogsAFailedWriteAndKeepsThePendingText) {
  Check::lastFileInfoPath = "Kelpstone/missing-dir/fileInfo_1_0_0.json";
  Check::lastFileInfoText = std::string(150, 'x');
  testing::internal::CaptureStdout();
  Check::SaveLastFileInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Check::SaveLastFileInfo() Error: can not write Kelpstone/missing-dir/fileInfo_1_0_0.json\n");
  EXPECT_EQ(Check::lastFileInfoText.size(), 150u);
  Check::lastFileInfoPath.clear();
  Check::lastFileInfoText.clear();
}

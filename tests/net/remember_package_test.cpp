#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fs/download_record.h"
#include "net/remember_package.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::WriteFile;

namespace {

class RememberPackageTest : public InTempDir {
 protected:
  void Record(const std::string& name, const std::string& md5) {
    SaveDownloadRecord("zipName", name);
    SaveDownloadRecord("zipMd5", md5);
  }
};

}  // namespace

TEST_F(RememberPackageTest, FirstRunDeletesNothingAndStoresBothKeys) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "partial");
  RememberPackage("Marlwood77301/game_1_0_0.zip", "m1", nullptr);
  EXPECT_TRUE(platform::PathExists("Marlwood77301/game_1_0_0.zip"));
  ForgetDownloadRecord();
  EXPECT_EQ(LoadDownloadRecord(), (RecordMap{{"installPending", "Marlwood77301/game_1_0_0.zip"},
                                             {"zipMd5", "m1"},
                                             {"zipName", "Marlwood77301/game_1_0_0.zip"}}));
}

TEST_F(RememberPackageTest, SamePathAndMd5KeepsThePartialFile) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "partial");
  Record("Marlwood77301/game_1_0_0.zip", "m1");
  RememberPackage("Marlwood77301/game_1_0_0.zip", "m1", nullptr);
  EXPECT_TRUE(platform::PathExists("Marlwood77301/game_1_0_0.zip"));
}

TEST_F(RememberPackageTest, SamePathWithNewMd5DeletesTheOldPartialFile) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "partial");
  Record("Marlwood77301/game_1_0_0.zip", "m1");
  RememberPackage("Marlwood77301/game_1_0_0.zip", "m2", nullptr);
  EXPECT_FALSE(platform::PathExists("Marlwood77301/game_1_0_0.zip"));
  EXPECT_EQ(DownloadRecordValue("zipMd5"), "m2");
}

TEST_F(RememberPackageTest, OtherRecordedPathIsDeletedWhenItStillExists) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "old");
  WriteFile("Marlwood77301/game_1_1_0.zip", "new partial");
  Record("Marlwood77301/game_1_0_0.zip", "m1");
  RememberPackage("Marlwood77301/game_1_1_0.zip", "m1", nullptr);
  EXPECT_FALSE(platform::PathExists("Marlwood77301/game_1_0_0.zip"));
  EXPECT_TRUE(platform::PathExists("Marlwood77301/game_1_1_0.zip"));
  EXPECT_EQ(DownloadRecordValue("zipName"), "Marlwood77301/game_1_1_0.zip");
}

TEST_F(RememberPackageTest, DigestsDifferingOnlyInLetterCaseAreTheSamePackage) {
  // The update check resumes this file from its size; deleting it here would leave the download
  // appending at an offset into an empty file.
  WriteFile("Marlwood77301/game_1_0_0.zip", "partial");
  Record("Marlwood77301/game_1_0_0.zip", "abcdef0123");
  RememberPackage("Marlwood77301/game_1_0_0.zip", "ABCDEF0123", nullptr);
  EXPECT_TRUE(platform::PathExists("Marlwood77301/game_1_0_0.zip"));
  EXPECT_EQ(DownloadRecordValue("zipMd5"), "ABCDEF0123");  // the document's text, as it came

  RememberPackage("Marlwood77301/game_1_0_0.zip", "ABCDEF0124", nullptr);
  EXPECT_FALSE(platform::PathExists("Marlwood77301/game_1_0_0.zip"));
}

TEST_F(RememberPackageTest, MarksTheInstallPendingBeforeNamingThePackage) {
  // The installed version's record: its files are in place, nothing pending.
  Record("Marlwood77301/game_1_0_0.zip", "m1");
  // From here every write fails, after the value reached memory.
  std::filesystem::remove("Kelpstone/downloadRecord");
  WriteFile("Kelpstone/downloadRecord/occupied", "x");
  std::vector<RecordMap> states;
  RememberPackage("Marlwood77301/game_1_1_0.zip", "m2", [&states] {
    states.push_back({{"installPending", DownloadRecordValue("installPending")},
                      {"zipMd5", DownloadRecordValue("zipMd5")},
                      {"zipName", DownloadRecordValue("zipName")}});
  });
  // Reported once, at the first failed write: the mark, already in memory, before the name.
  const std::vector<RecordMap> expected = {
      {{"installPending", "Marlwood77301/game_1_1_0.zip"}, {"zipMd5", "m1"},
       {"zipName", "Marlwood77301/game_1_0_0.zip"}},
  };
  EXPECT_EQ(states, expected);
}

TEST_F(RememberPackageTest, EachFailedWriteIsReportedBeforeTheNextWriteIsTried) {
  // A directory where the record file should be: no one, not even root, can open it for writing.
  WriteFile("Kelpstone/downloadRecord/occupied", "x");
  int reports = 0;
  RememberPackage("Marlwood77301/game_1_0_0.zip", "m1", [&reports] {
    ++reports;
    // The player frees the file while the first report is shown: the second write succeeds.
    std::filesystem::remove_all("Kelpstone/downloadRecord");
  });
  EXPECT_EQ(reports, 1);
  ForgetDownloadRecord();
  EXPECT_EQ(LoadDownloadRecord(), (RecordMap{{"installPending", "Marlwood77301/game_1_0_0.zip"},
                                             {"zipMd5", "m1"},
                                             {"zipName", "Marlwood77301/game_1_0_0.zip"}}));
}

TEST_F(RememberPackageTest, AFileThatStaysBlockedIsReportedOnce) {
  WriteFile("Kelpstone/downloadRecord/occupied", "x");
  int reports = 0;
  RememberPackage("Marlwood77301/game_1_0_0.zip", "m1", [&reports] { ++reports; });
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(DownloadRecordValue("zipMd5"), "m1");  // kept in memory for the rest of the run
}

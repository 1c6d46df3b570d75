#include <gtest/gtest.h>

#include "fs/download_record.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/temp_dir.h"
#include "update/check.h"

using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {
class DownloadRecordTest : public InTempDir {};
}  // namespace

TEST_F(DownloadRecordTest, MissingFileLoadsEmptyAndFirstSaveCreatesTheInstallDirectory) {
  EXPECT_TRUE(LoadDownloadRecord().empty());
  ASSERT_FALSE(platform::DirectoryExists("Kelpstone"));

  SaveDownloadRecord("zipName", "Marlwood77301/game_1_4_2.zip");
  SaveDownloadRecord("zipMd5", "0123456789abcdef0123456789abcdef");

  // Entries separated by CR CR LF on disk (text mode over a CR LF separator), none after the last.
  EXPECT_EQ(ReadFile("Kelpstone/downloadRecord"),
            "zipMd5=0123456789abcdef0123456789abcdef\r\r\nzipName=Marlwood77301/game_1_4_2.zip");

  ForgetDownloadRecord();
  const RecordMap loaded = LoadDownloadRecord();
  EXPECT_EQ(loaded, (RecordMap{{"zipMd5", "0123456789abcdef0123456789abcdef"},
                               {"zipName", "Marlwood77301/game_1_4_2.zip"}}));
}

TEST_F(DownloadRecordTest, LookupOfMissingKeyInsertsAnEmptyValueThatIsIgnoredOnLoad) {
  EXPECT_EQ(DownloadRecordValue("zipName"), "");
  SaveDownloadRecord("zipMd5", "m");
  EXPECT_EQ(ReadFile("Kelpstone/downloadRecord"), "zipMd5=m\r\r\nzipName=");
  ForgetDownloadRecord();
  EXPECT_EQ(LoadDownloadRecord(), (RecordMap{{"zipMd5", "m"}}));
}

TEST_F(DownloadRecordTest, ParseKeepsFirstOccurrenceAndDropsEmptyPieces) {
  EXPECT_EQ(ParseRecordText("key=a=b", "=", "\r\n"), (RecordMap{{"key", "a"}}));
  EXPECT_EQ(ParseRecordText("key==b", "=", "\r\n"), (RecordMap{{"key", "b"}}));
  EXPECT_EQ(ParseRecordText("k=first\nk=second", "=", "\r\n"), (RecordMap{{"k", "first"}}));
  EXPECT_EQ(ParseRecordText("zipName=a.zip\nzipMd5=", "=", "\r\n"), (RecordMap{{"zipName", "a.zip"}}));
}

TEST_F(DownloadRecordTest, ParseSurvivesJunk) {
  const std::string junk =
      "\n\n\r\nno separator here\n=onlyvalue\nkey=\rvalue\r\nlone\rcr=x\r\r\nok=1\r\n\x01\x02=\xff\xfe";
  const RecordMap record = ParseRecordText(junk, "=", "\r\n");
  EXPECT_EQ(record.at("ok"), "1");
  EXPECT_EQ(record.at("lone\rcr"), "x\r");  // only one trailing CR is removed
  EXPECT_EQ(record.at("\x01\x02"), "\xff\xfe");
  EXPECT_EQ(record.at("key"), "\rvalue");
  EXPECT_EQ(record.count("no separator here"), 0u);
  EXPECT_EQ(record.count("onlyvalue"), 0u);  // an empty key leaves one piece: ignored
  EXPECT_EQ(record.size(), 4u);
}

TEST_F(DownloadRecordTest, HugeLinesLoadWhole) {
  const std::string value(3 << 20, 'v');
  WriteFile("Kelpstone/downloadRecord", "zipName=" + value + "\r\r\nzipMd5=m");
  const RecordMap record = LoadDownloadRecord();
  EXPECT_EQ(record.at("zipName"), value);
  EXPECT_EQ(record.at("zipMd5"), "m");
}

TEST_F(DownloadRecordTest, RecordToTextJoinsInMapOrder) {
  EXPECT_EQ(RecordToText({}, "=", "\r\n"), "");
  EXPECT_EQ(RecordToText({{"a", "1"}, {"b", "2"}}, "=", "\r\n"), "a=1\r\nb=2");
}

TEST_F(DownloadRecordTest, FailedWriteShowsTheErrorBoxAndKeepsValuesInMemory) {
  testing_support::FakeMessageBox boxes;
  // A directory where the file should be: no one, not even root, can open it for writing.
  WriteFile("Kelpstone/downloadRecord/occupied", "x");

  SaveDownloadRecord("zipName", "p.zip");

  const auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text,
            "访问文件Kelpstone/downloadRecord错误，请关闭其他占用该文件的程序后再重试");
  EXPECT_EQ(shown[0].caption, "错误");
  EXPECT_EQ(shown[0].flags, unsigned(platform::kMbSystemModal | platform::kMbIconError));
  EXPECT_EQ(DownloadRecordValue("zipName"), "p.zip");
}

TEST_F(DownloadRecordTest, SaveLastFileInfoNeedsFiveBytesOfPathAndHundredOfText) {
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

TEST_F(DownloadRecordTest, SaveLastFileInfoLogsAFailedWriteAndKeepsThePendingText) {
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

#include <gtest/gtest.h>

#include <filesystem>

#include "fs/download_record.h"
#include "platform/files.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/temp_dir.h"

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

TEST_F(DownloadRecordTest, FailedWriteIsReportedWithoutABoxAndKeepsValuesInMemory) {
  testing_support::FakeMessageBox boxes;
  // A directory where the file should be: no one, not even root, can open it for writing.
  WriteFile("Kelpstone/downloadRecord/occupied", "x");

  EXPECT_FALSE(SaveDownloadRecord("zipName", "p.zip"));

  EXPECT_TRUE(boxes.Shown().empty());  // the caller that owns the window decides
  EXPECT_EQ(DownloadRecordValue("zipName"), "p.zip");
  std::filesystem::remove_all("Kelpstone/downloadRecord");
  EXPECT_TRUE(SaveDownloadRecord("zipMd5", "m"));
  ForgetDownloadRecord();
  EXPECT_EQ(LoadDownloadRecord(), (RecordMap{{"zipMd5", "m"}, {"zipName", "p.zip"}}));
}

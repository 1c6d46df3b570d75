#include <gtest/gtest.h>

#include "fs/text_file.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {
class TextFileTest : public InTempDir {};
}  // namespace

TEST_F(TextFileTest, WriteTurnsLineFeedsIntoCarriageReturnLineFeeds) {
  ASSERT_TRUE(WriteTextFile("out.txt", "a\nb\r\nc"));
  EXPECT_EQ(ReadFile("out.txt"), "a\r\nb\r\r\nc");
}

TEST_F(TextFileTest, ReadTurnsCrLfIntoLfAndKeepsLoneCarriageReturns) {
  WriteFile("in.txt", std::string("one\r\ntwo\rthree\r\r\nfour\n\r"));
  EXPECT_EQ(ReadTextFile("in.txt"), "one\ntwo\rthree\r\nfour\n\r");
}

TEST_F(TextFileTest, RoundTripIsExactForAnyBytes) {
  std::string text;
  for (int i = 0; i < 256; ++i) text += static_cast<char>(i);
  text += "\r\n\n\r";
  ASSERT_TRUE(WriteTextFile("bytes.txt", text));
  EXPECT_EQ(ReadTextFile("bytes.txt"), text);
}

TEST_F(TextFileTest, MissingOrUnreadablePathReadsAsEmpty) {
  EXPECT_EQ(ReadTextFile("missing.txt"), "");
  WriteFile("dir/x", "x");
  EXPECT_EQ(ReadTextFile("dir"), "");
}

TEST_F(TextFileTest, WriteTruncatesAndReportsFailure) {
  WriteFile("t.txt", "a much longer old content");
  ASSERT_TRUE(WriteTextFile("t.txt", "new"));
  EXPECT_EQ(ReadFile("t.txt"), "new");
  EXPECT_FALSE(WriteTextFile("no/such/dir/file.txt", "x"));
}

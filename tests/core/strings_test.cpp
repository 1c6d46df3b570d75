#include <gtest/gtest.h>

#include "core/strings.h"

using Pieces = std::vector<std::string>;

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanningInsertedText) {
  EXPECT_EQ(ReplaceAll("1.4.2", ".", "_"), "1_4_2");
  EXPECT_EQ(ReplaceAll("", ".", "_"), "");
  EXPECT_EQ(ReplaceAll("a.b", ".", ".."), "a..b");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("Marlwood77301/fileInfo_1_0_0.json", "Marlwood77301", "Kelpstone"),
            "Kelpstone/fileInfo_1_0_0.json");
}

TEST(SplitString, DropsEmptyPiecesAndSkipsLeadingDelimiterCharacters) {
  EXPECT_EQ(SplitString("1..4.2", "."), (Pieces{"1", "4", "2"}));
  EXPECT_EQ(SplitString("\r\nline one\r\nline two\r\n", "\r\n"), (Pieces{"line one", "line two"}));
  EXPECT_EQ(SplitString("", "."), Pieces{});
  EXPECT_EQ(SplitString("...", "."), Pieces{});
  EXPECT_EQ(SplitString("abc", "."), Pieces{"abc"});
}

TEST(SplitString, MatchesTheDelimiterAsAWholeAfterTheStart) {
  // Leading characters of the delimiter are skipped one by one; later the whole string counts.
  EXPECT_EQ(SplitString("\na\rb\r\nc", "\r\n"), (Pieces{"a\rb", "c"}));
}

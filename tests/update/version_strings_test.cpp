#include <gtest/gtest.h>

#include "update/version_strings.h"

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

TEST(VersionMatches, WildcardIsAWholeLowerCasePieceOnEitherSide) {
  EXPECT_TRUE(VersionMatches("1.2.x", "1.2.7"));
  EXPECT_FALSE(VersionMatches("1.2.x", "1.3.7"));
  EXPECT_TRUE(VersionMatches("x.x.x", "9.8.7"));
  EXPECT_FALSE(VersionMatches("1.X.3", "1.2.3"));
  EXPECT_FALSE(VersionMatches("1.2x.3", "1.25.3"));
  EXPECT_TRUE(VersionMatches("1.2.3", "1.x.3"));
}

TEST(VersionMatches, NeedsExactlyThreeTextuallyEqualPieces) {
  EXPECT_FALSE(VersionMatches("x.x.x", "1.2"));
  EXPECT_FALSE(VersionMatches("x.x.x", "1.2.3.4"));
  EXPECT_FALSE(VersionMatches("1.02.3", "1.2.3"));
  EXPECT_TRUE(VersionMatches("1..2.3", "1.2.3"));  // empty pieces are dropped
  EXPECT_FALSE(VersionMatches("", ""));
  EXPECT_TRUE(VersionMatches("a.b.c", "a.b.c"));  // pieces are text, letters included
}

TEST(InstalledVersion, FindsTheLeftmostMatchAnywhereInTheName) {
  EXPECT_EQ(InstalledVersion("Marlwood77301/game_1_4_2.zip"), "1_4_2");
  EXPECT_EQ(InstalledVersion("Marlwood77301/game_1_4.zip"), std::nullopt);
  EXPECT_EQ(InstalledVersion("Marlwood77301/game_10_20_30_4.zip"), "20_30_4");
  EXPECT_EQ(InstalledVersion("x_1_4_2.zip.bak"), "1_4_2");
  EXPECT_EQ(InstalledVersion(""), std::nullopt);
  EXPECT_EQ(InstalledVersion("game_1_a_2.zip"), std::nullopt);
  EXPECT_EQ(InstalledVersion("game_1_4_2.ZIP"), std::nullopt);
}

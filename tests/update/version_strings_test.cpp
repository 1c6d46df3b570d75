#include <gtest/gtest.h>

#include "update/version_strings.h"

using Pieces = std::vector<std::string>;

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

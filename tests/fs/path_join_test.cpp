#include <gtest/gtest.h>

#include "fs/path_join.h"

// On Linux the separator is '/', and a backslash is an ordinary file-name character.
TEST(JoinPath, InsertsExactlyOneSeparator) {
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "/b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(JoinPath("a", "/b"), "a/b");
}

TEST(JoinPath, EmptySideGivesTheOtherUnchanged) {
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(JoinPath("a", ""), "a");
  EXPECT_EQ(JoinPath("", ""), "");
}

TEST(JoinPath, BackslashIsAFileNameCharacterOnLinux) {
  EXPECT_EQ(JoinPath("a\\", "\\b"), "a\\/\\b");
}

TEST(JoinUrl, AddsSlashOnlyWhenMissing) {
  EXPECT_EQ(JoinUrl("u/", "p"), "u/p");
  EXPECT_EQ(JoinUrl("u", "p"), "u/p");
  EXPECT_EQ(JoinUrl("", "p"), "/p");
  // The name's first character is not examined.
  EXPECT_EQ(JoinUrl("u/", "/p"), "u//p");
  EXPECT_EQ(JoinUrl("https://h/PCDownload/sq1/", "Marlwood77301"),
            "https://h/PCDownload/sq1/Marlwood77301");
}

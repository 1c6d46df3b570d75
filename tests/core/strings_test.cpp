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

TEST(SameDigest, HexCaseDoesNotMatterAnythingElseDoes) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"0123456789abcdef0123456789abcdef", "0123456789ABCDEF0123456789ABCDEF", true},
      {"d41d8cd98f00b204e9800998ecf8427e", "D41d8CD98f00B204e9800998ECF8427E", true},
      {"0123456789abcdef", "0123456789abcdef", true},
      {"0123456789abcdef", "0123456789abcdee", false},
      {"0123456789abcdef", "0123456789abcdef0", false},
      {"", "", false},  // no digest on either side is no match
      {"", "0123456789abcdef", false},
      // Only ASCII letters fold: '@' and '`' sit beside 'A' and 'a' and differ by the same bit.
      {"@", "`", false},
      {"[", "{", false},
      {"\xc3\xa4", "\xc3\x84", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameDigest(c.a, c.b), c.same) << c.a << " vs " << c.b;
    EXPECT_EQ(SameDigest(c.b, c.a), c.same) << c.b << " vs " << c.a;
  }
}

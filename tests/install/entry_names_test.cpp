#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/safe_path.h"
#include "install/zip_util.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(EntryNames, DirPartKeepsEverythingUpToTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(DirPartOf("a/b/c.txt"), "a/b/");
  EXPECT_EQ(DirPartOf("a\\b/c.txt"), "a\\b/");
  EXPECT_EQ(DirPartOf("a/b\\c.txt"), "a/b\\");
  EXPECT_EQ(DirPartOf("a/b/"), "a/b/");
  EXPECT_EQ(DirPartOf("c.txt"), "");
  EXPECT_EQ(DirPartOf(""), "");
}

TEST(EntryNames, FilePartIsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FilePartOf("a/b/c.txt"), "c.txt");
  EXPECT_EQ(FilePartOf("x\\y.txt"), "y.txt");
  EXPECT_EQ(FilePartOf("c.txt"), "c.txt");
  EXPECT_EQ(FilePartOf("a/"), "");
  EXPECT_EQ(FilePartOf("a\\"), "");
  EXPECT_EQ(FilePartOf(""), "");
}

TEST(EntryNames, SplitCutsAtEachSeparatorAndEachPieceKeepsItsOwn) {
  EXPECT_EQ(SplitDirComponents("a/b\\c/"), (Pieces{"a/", "b\\", "c/"}));
  EXPECT_EQ(SplitDirComponents("a/b/"), (Pieces{"a/", "b/"}));
  EXPECT_EQ(SplitDirComponents("only\\"), (Pieces{"only\\"}));
  EXPECT_EQ(SplitDirComponents("a//b/"), (Pieces{"a/", "/", "b/"}));
  EXPECT_EQ(SplitDirComponents(""), Pieces{});
}

TEST(EntryNames, SplitOfADirPartRebuildsIt) {
  const std::string dirPart = DirPartOf("one\\two/three\\four.dat");
  std::string joined;
  for (const std::string& piece : SplitDirComponents(dirPart)) joined += piece;
  EXPECT_EQ(joined, dirPart);
}

TEST(EntryNameSafety, NamesThatCouldLeaveTheDestinationAreCaught) {
  for (const char* name :
       {"../evil", "..\\evil", "a/../../evil", "a\\..\\..\\evil", "a/..", "..", "/abs", "\\lead",
        "//server/share/x", "C:/x", "c:x", "Z:\\x", "a/.../b", "a/. ./b"}) {
    EXPECT_TRUE(LeadsOutsideDestination(name)) << name;
  }
}

// The file system reads a name only up to a zero byte, so what follows one cannot vouch for it.
TEST(EntryNameSafety, NamesWithAZeroByteAreCaught) {
  using namespace std::string_literals;
  for (const std::string& name : {"..\0"s, "..\0/x"s, "..\0.txt"s, "ok\0"s}) {
    EXPECT_TRUE(LeadsOutsideDestination(name)) << name.size();
    EXPECT_FALSE(IsContainedRelativePath(name)) << name.size();
  }
}

TEST(EntryNameSafety, OrdinaryNamesPass) {
  for (const char* name : {"a.txt", "a/b/c.txt", "x\\y.txt", "a/", "..a/b", "a../b", "a..b",
                           "./a.txt", "a/./b", "1:2.txt", "dir/C:x", ".hidden", ""}) {
    EXPECT_FALSE(LeadsOutsideDestination(name)) << name;
  }
}

}  // namespace

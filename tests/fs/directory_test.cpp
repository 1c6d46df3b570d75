#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <vector>

#include "fs/directory.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::WriteFile;

namespace {

class DirectoryTest : public InTempDir {};

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST_F(DirectoryTest, ListsSeparateFilesFromDirectories) {
  WriteFile("top/one.txt", "1");
  WriteFile("top/two.bin", "22");
  WriteFile("top/sub/inner.txt", "3");
  ASSERT_TRUE(CreateDir("top/empty"));

  EXPECT_EQ(Sorted(ListFiles("top")), (std::vector<std::string>{"one.txt", "two.bin"}));
  EXPECT_EQ(Sorted(ListDirectories("top")), (std::vector<std::string>{"empty", "sub"}));
}

TEST_F(DirectoryTest, SingleFileIsListedAndMissingDirectoryIsEmpty) {
  WriteFile("only/alone.txt", "x");
  EXPECT_EQ(ListFiles("only"), std::vector<std::string>{"alone.txt"});
  EXPECT_TRUE(ListDirectories("only").empty());
  EXPECT_TRUE(ListFiles("missing").empty());
  EXPECT_TRUE(ListDirectories("missing").empty());
}

TEST_F(DirectoryTest, WalkIsPostOrderWithSubdirectoriesBeforeFiles) {
  WriteFile("w/a/deep/leaf.txt", "l");
  WriteFile("w/a/file.txt", "f");
  WriteFile("w/top.txt", "t");

  std::vector<std::tuple<std::string, std::string, std::string>> visits;
  WalkDirectory("w", "", [&](const std::string& kind, const std::string& rel, const std::string& name) {
    visits.emplace_back(kind, rel, name);
  });

  const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
      {"file", "a/deep/leaf.txt", "leaf.txt"},
      {"dir", "a/deep", "deep"},
      {"file", "a/file.txt", "file.txt"},
      {"dir", "a", "a"},
      {"file", "top.txt", "top.txt"},
  };
  EXPECT_EQ(visits, expected);
}

TEST_F(DirectoryTest, WalkOverMissingPathOrFileDoesNothing) {
  WriteFile("plain.txt", "x");
  int calls = 0;
  const auto count = [&](const std::string&, const std::string&, const std::string&) { ++calls; };
  WalkDirectory("missing", "", count);
  WalkDirectory("plain.txt", "", count);
  EXPECT_EQ(calls, 0);
}

TEST_F(DirectoryTest, ClearPackageFolderEmptiesNestedTreeAndKeepsTheFolder) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "zip");
  WriteFile("Marlwood77301/a/b/c/deep.txt", "deep");
  WriteFile("Marlwood77301/a/side.txt", "side");
  ASSERT_TRUE(CreateDir("Marlwood77301/empty"));

  ClearPackageFolder("Marlwood77301");

  EXPECT_TRUE(platform::DirectoryExists("Marlwood77301"));
  EXPECT_TRUE(ListFiles("Marlwood77301").empty());
  EXPECT_TRUE(ListDirectories("Marlwood77301").empty());
}

TEST_F(DirectoryTest, ClearPackageFolderLogsTwoLinesWhenTheFolderIsMissing) {
  testing::internal::CaptureStdout();
  ClearPackageFolder("Marlwood77301");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "attempt to delete dir not exsits!!!\nMarlwood77301\n");
}

TEST_F(DirectoryTest, ClearPackageFolderLeavesWhatCannotBeDeleted) {
  WriteFile("Marlwood77301/locked/held.bin", "held");
  WriteFile("Marlwood77301/loose.txt", "loose");
  // An immutable file stands for one the game still holds open on Windows.
  if (std::system("chattr +i Marlwood77301/locked/held.bin 2>/dev/null") != 0) {
    GTEST_SKIP() << "this file system cannot make a file undeletable";
  }
  ClearPackageFolder("Marlwood77301");
  std::system("chattr -i Marlwood77301/locked/held.bin");

  EXPECT_TRUE(platform::PathExists("Marlwood77301/locked/held.bin"));
  EXPECT_FALSE(platform::PathExists("Marlwood77301/loose.txt"));
}

namespace {

// The links a package folder could hold: to a folder outside, to a file outside, to nothing.
// False when this system cannot make links (the test then has nothing to show).
bool PlantLinks(const std::string& folder) {
  WriteFile(folder + "/a/inner.txt", "inner");
  WriteFile("outside/keep/precious.txt", "precious");
  WriteFile("outside/single.txt", "single");
  const std::filesystem::path here = std::filesystem::current_path();
  std::error_code error;
  std::filesystem::create_directory_symlink(here / "outside/keep", folder + "/to-folder", error);
  if (error) return false;
  std::filesystem::create_symlink(here / "outside/single.txt", folder + "/to-file", error);
  std::filesystem::create_symlink(here / "outside/gone", folder + "/dangling", error);
  std::filesystem::create_directory_symlink(here / "outside", folder + "/a/deeper", error);
  return !error;
}

}  // namespace

TEST_F(DirectoryTest, ClearPackageFolderRemovesLinksAsLinksAndNeverTheirTargets) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "zip");
  if (!PlantLinks("Marlwood77301")) GTEST_SKIP() << "this system makes no symbolic links";

  ClearPackageFolder("Marlwood77301");

  EXPECT_TRUE(std::filesystem::is_empty("Marlwood77301"));
  EXPECT_EQ(testing_support::ReadFile("outside/keep/precious.txt"), "precious");
  EXPECT_EQ(testing_support::ReadFile("outside/single.txt"), "single");
}

TEST_F(DirectoryTest, WalkReportsALinkOnceAndNeverGoesThroughIt) {
  if (!PlantLinks("w")) GTEST_SKIP() << "this system makes no symbolic links";
  std::vector<std::string> visits;
  WalkDirectory("w", "", [&](const std::string& kind, const std::string& rel, const std::string&) {
    visits.push_back(kind + " " + rel);
  });
  EXPECT_EQ(Sorted(visits),
            (std::vector<std::string>{"dir a", "dir a/deeper", "dir to-folder", "file a/inner.txt",
                                      "file dangling", "file to-file"}));

  // A folder that is itself a link is not walked at all.
  std::error_code error;
  std::filesystem::create_directory_symlink(std::filesystem::current_path() / "outside", "top", error);
  ASSERT_FALSE(error);
  int calls = 0;
  WalkDirectory("top", "", [&](const std::string&, const std::string&, const std::string&) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST_F(DirectoryTest, CreateDirMakesOneLevelOnly) {
  EXPECT_TRUE(CreateDir("one"));
  EXPECT_TRUE(platform::DirectoryExists("one"));

  testing::internal::CaptureStdout();
  EXPECT_FALSE(CreateDir("missing/parent"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "create dir fail:  [missing/parent]\n");
}

TEST_F(DirectoryTest, CreateDirOnExistingDirectoryFailsAndKeepsIt) {
  WriteFile("kept/file.txt", "content");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(CreateDir("kept"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "create dir fail:  [kept]\n");
  EXPECT_EQ(testing_support::ReadFile("kept/file.txt"), "content");
}

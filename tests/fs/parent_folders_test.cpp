#include "fs/parent_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::WriteFile;

namespace {

class ParentFoldersTest : public InTempDir {};

}  // namespace

// Files asked for in an order where a folder made for one file is the parent of the next one's.
TEST_F(ParentFoldersTest, MakesEveryFolderOnTheWayWhateverWasMadeBefore) {
  namespace fs = std::filesystem;
  fs::create_directory("r");
  WriteFile("r/file", "not a folder");
  ParentFolders folders("r");
  for (const char* path : {"r/top.txt", "r/a/x.txt", "r/a/b/y.txt", "r/a/b/c/z.txt", "r/a/w.txt",
                           "r/d/e/f.txt", "r/file/g.txt"}) {
    folders.MakeFor(path);
  }
  for (const char* folder : {"r/a", "r/a/b", "r/a/b/c", "r/d", "r/d/e"}) {
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  }
  EXPECT_TRUE(fs::is_regular_file("r/file"));
  EXPECT_FALSE(fs::exists("r/top.txt"));
}

#include <gtest/gtest.h>

#include <filesystem>

#include "install/clean_up.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {
class CleanUpTest : public InTempDir {};
}  // namespace

TEST_F(CleanUpTest, PackageFolderGoesWithEverythingInIt) {
  WriteFile("Marlwood77301/game_1_0_0.zip", "zip");
  WriteFile("Marlwood77301/a/b/deep.txt", "deep");
  RemovePackageFolder("Marlwood77301");
  EXPECT_FALSE(platform::PathExists("Marlwood77301"));
}

TEST_F(CleanUpTest, PackageFolderThatIsALinkGoesAsALinkAndItsTargetStays) {
  WriteFile("elsewhere/documents/letter.txt", "letter");
  std::error_code error;
  std::filesystem::create_directory_symlink(std::filesystem::current_path() / "elsewhere",
                                            "Marlwood77301", error);
  if (error) GTEST_SKIP() << "this system makes no symbolic links";
  std::filesystem::create_directory_symlink(std::filesystem::current_path() / "elsewhere/documents",
                                            "elsewhere/inner-link", error);
  ASSERT_FALSE(error);

  RemovePackageFolder("Marlwood77301");

  EXPECT_FALSE(platform::PathExists("Marlwood77301"));
  EXPECT_FALSE(platform::IsLink("Marlwood77301"));
  EXPECT_EQ(ReadFile("elsewhere/documents/letter.txt"), "letter");
  EXPECT_TRUE(platform::IsLink("elsewhere/inner-link"));
}

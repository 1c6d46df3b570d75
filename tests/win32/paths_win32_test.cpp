// Windows' own forms of the path rules: JoinPath joins with a backslash and treats only the
// backslash as a separator, the walk reports backslash-joined relative paths, and extraction
// writes entry names in the ANSI code page (936 in these runs) with either slash as a separator.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "fs/directory.h"
#include "fs/path_join.h"
#include "install/zip_util.h"
#include "platform/text_encoding.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::SuccessfulRun;
using testing_support::UnzipRecorder;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;

std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

class PathsWin32 : public InTempDir {
 protected:
  bool Extract(const std::string& zipPath, const std::string& destDir) {
    testing::internal::CaptureStdout();
    const bool result = ZipUtil::Unzip(zipPath, destDir, recorder_.Callback());
    testing::internal::GetCapturedStdout();
    return result;
  }
  UnzipRecorder recorder_;
};

}  // namespace

TEST(JoinPathWin32, BackslashIsTheOneSeparator) {
  EXPECT_EQ(JoinPath("a", "b"), "a\\b");
  EXPECT_EQ(JoinPath("a\\", "\\b"), "a\\b");
  EXPECT_EQ(JoinPath("a\\", "b"), "a\\b");
  EXPECT_EQ(JoinPath("a", "\\b"), "a\\b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(JoinPath("a", ""), "a");
  // A slash is not looked at: the file system accepts the mixed result.
  EXPECT_EQ(JoinPath("a/", "b"), "a/\\b");
}

TEST_F(PathsWin32, WalkIsPostOrderWithBackslashJoinedRelativePaths) {
  WriteFile("w/a/deep/leaf.txt", "l");
  WriteFile("w/a/file.txt", "f");
  WriteFile("w/top.txt", "t");

  std::vector<std::tuple<std::string, std::string, std::string>> visits;
  WalkDirectory("w", "", [&](const std::string& kind, const std::string& rel,
                             const std::string& name) { visits.emplace_back(kind, rel, name); });

  const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
      {"file", "a\\deep\\leaf.txt", "leaf.txt"},
      {"dir", "a\\deep", "deep"},
      {"file", "a\\file.txt", "file.txt"},
      {"dir", "a", "a"},
      {"file", "top.txt", "top.txt"},
  };
  EXPECT_EQ(visits, expected);
}

TEST_F(PathsWin32, ChineseEntryNamesAreWrittenInTheAnsiCodePage) {
  ASSERT_EQ(::GetACP(), 936u) << "the tests run under a zh_CN locale";
  const std::string folder = Utf8(u8"资料");
  const std::string name = folder + "/" + Utf8(u8"说明.txt");
  ZipBuilder().AddFile(name, "readme").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  const std::string narrow = platform::Utf8ToNarrow(name);
  EXPECT_EQ(narrow, platform::Utf8ToGbk(name));
  EXPECT_EQ(ReadFile("out/" + narrow), "readme");
  EXPECT_NE(::GetFileAttributesA(("out\\" + platform::Utf8ToGbk(folder)).c_str()),
            INVALID_FILE_ATTRIBUTES);
  // The events name the entry as it was written to disk.
  EXPECT_EQ(recorder_.Events(), SuccessfulRun({narrow}));
}

TEST_F(PathsWin32, EitherSlashSeparatesFoldersInEntriesAndDestinations) {
  ZipBuilder()
      .AddFile("x\\y.txt", "why")
      .AddFile("p\\q/r.txt", "are", ZipMethod::Stored)
      .AddDirectory("s\\t\\")
      .WriteTo("pack.zip");
  ASSERT_TRUE(Extract("pack.zip", "out\\"));
  EXPECT_EQ(ReadFile("out/x/y.txt"), "why");
  EXPECT_EQ(ReadFile("out/p/q/r.txt"), "are");
  EXPECT_TRUE(fs::is_directory("out/s/t"));
  EXPECT_EQ(recorder_.Events(), SuccessfulRun({"x\\y.txt", "p\\q/r.txt", "s\\t\\"}));
}

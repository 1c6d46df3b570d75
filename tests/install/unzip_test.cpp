#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "install/zip_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using testing_support::CompressibleText;
using testing_support::IncompressibleBytes;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::SuccessfulRun;
using testing_support::UnzipEvent;
using testing_support::UnzipRecorder;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;

// Built-in literals become GBK bytes; archive names are UTF-8, so they are spelt as u8 text.
std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

class UnzipTest : public InTempDir {
 protected:
  // Extracts with stdout captured; returns Unzip's result.
  bool Extract(const std::string& zipPath, const std::string& destDir) {
    testing::internal::CaptureStdout();
    const bool result = ZipUtil::Unzip(zipPath, destDir, recorder_.Callback());
    log_ = testing::internal::GetCapturedStdout();
    return result;
  }

  std::vector<UnzipEvent> Events() const { return recorder_.Events(); }
  const std::string& log() const { return log_; }

 private:
  UnzipRecorder recorder_;
  std::string log_;
};

TEST_F(UnzipTest, NestedFoldersOfStoredAndDeflatedEntries) {
  const std::string big = IncompressibleBytes(100000);
  const std::string text = CompressibleText(300000);
  ZipBuilder()
      .AddFile("top.txt", "top level")
      .AddFile("a/b/c.txt", "stored text", ZipMethod::Stored)
      .AddFile("a/b/d/e.bin", big)
      .AddFile("a/f.txt", text)
      .AddFile("g/h.bin", big, ZipMethod::Stored)
      .WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(ReadFile("out/top.txt"), "top level");
  EXPECT_EQ(ReadFile("out/a/b/c.txt"), "stored text");
  EXPECT_EQ(ReadFile("out/a/b/d/e.bin"), big);
  EXPECT_EQ(ReadFile("out/a/f.txt"), text);
  EXPECT_EQ(ReadFile("out/g/h.bin"), big);
  EXPECT_EQ(Events(), SuccessfulRun({"top.txt", "a/b/c.txt", "a/b/d/e.bin", "a/f.txt", "g/h.bin"}));
  EXPECT_EQ(log(), "start unzip\nend unzip\n");
}

TEST_F(UnzipTest, EmptyArchiveSucceedsWithNoEntries) {
  ZipBuilder().WriteTo("empty.zip");

  ASSERT_TRUE(Extract("empty.zip", "out"));

  EXPECT_EQ(Events(), (std::vector<UnzipEvent>{{"succ", "", 0, 0}}));
  EXPECT_EQ(log(), "start unzip\nend unzip\n");
  EXPECT_TRUE(fs::is_directory("out"));
  EXPECT_TRUE(fs::is_empty("out"));
}

TEST_F(UnzipTest, EmptyArchiveWithACommentSucceedsToo) {
  WriteFile("empty.zip", std::string("PK\x05\x06", 4) + std::string(16, '\0') +
                             std::string("\x07\x00", 2) + "no data");

  ASSERT_TRUE(Extract("empty.zip", "out"));

  EXPECT_EQ(Events(), (std::vector<UnzipEvent>{{"succ", "", 0, 0}}));
  EXPECT_EQ(log(), "start unzip\nend unzip\n");
}

TEST_F(UnzipTest, DirectoryEntryCountsAsAnEntry) {
  ZipBuilder().AddDirectory("a/").AddFile("a/b.txt", "bee").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(Events(), (std::vector<UnzipEvent>{
                          {"unzip", "a/", 1, 2}, {"unzip", "a/b.txt", 2, 2}, {"succ", "", 2, 2}}));
  EXPECT_TRUE(fs::is_directory("out/a"));
  EXPECT_EQ(ReadFile("out/a/b.txt"), "bee");
}

TEST_F(UnzipTest, EmptyFolderEntryIsCreated) {
  ZipBuilder().AddDirectory("logs/old/").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_TRUE(fs::is_directory("out/logs/old"));
  EXPECT_EQ(Events(), SuccessfulRun({"logs/old/"}));
}

TEST_F(UnzipTest, BackslashSeparatesFoldersToo) {
  ZipBuilder()
      .AddFile("x\\y.txt", "why")
      .AddFile("p\\q/r.txt", "are", ZipMethod::Stored)
      .AddDirectory("s\\t\\")
      .WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(ReadFile("out/x/y.txt"), "why");
  EXPECT_EQ(ReadFile("out/p/q/r.txt"), "are");
  EXPECT_TRUE(fs::is_directory("out/s/t"));
  EXPECT_FALSE(fs::exists("out/x\\y.txt"));
  // The events name each entry as the archive spells it.
  EXPECT_EQ(Events(), SuccessfulRun({"x\\y.txt", "p\\q/r.txt", "s\\t\\"}));
}

TEST_F(UnzipTest, DestinationWithOrWithoutTrailingSeparatorGivesTheSamePaths) {
  ZipBuilder().AddFile("a/b.txt", "same").AddFile("c.txt", "top").WriteTo("pack.zip");

  for (const std::string dest : {"plain", "slash/", "backslash\\"}) {
    SCOPED_TRACE(dest);
    ASSERT_TRUE(Extract("pack.zip", dest));
    std::string folder = dest;
    if (folder.back() == '/' || folder.back() == '\\') folder.pop_back();
    EXPECT_EQ(ReadFile(folder + "/a/b.txt"), "same");
    EXPECT_EQ(ReadFile(folder + "/c.txt"), "top");
  }
  EXPECT_FALSE(fs::exists("backslash\\"));
}

TEST_F(UnzipTest, ExistingDestinationAndFoldersAreReused) {
  fs::create_directories("out/a");
  ZipBuilder().AddFile("a/one.txt", "1").AddFile("a/two.txt", "2").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(ReadFile("out/a/one.txt"), "1");
  EXPECT_EQ(ReadFile("out/a/two.txt"), "2");
}

TEST_F(UnzipTest, ExistingFileIsReplacedAndOtherFilesAreLeftAlone) {
  WriteFile("out/a/game.dat", std::string(5000, 'o'));
  WriteFile("out/a/save.dat", "my progress");
  WriteFile("out/settings.ini", "volume=3");
  ZipBuilder().AddFile("a/game.dat", "new").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(ReadFile("out/a/game.dat"), "new");
  EXPECT_EQ(ReadFile("out/a/save.dat"), "my progress");
  EXPECT_EQ(ReadFile("out/settings.ini"), "volume=3");
}

TEST_F(UnzipTest, ChineseNamesAreWrittenInThePlatformEncoding) {
  const std::string folder = Utf8(u8"资料");
  const std::string name = folder + "/" + Utf8(u8"说明.txt");
  ZipBuilder().AddFile(name, "readme").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  // The platform's narrow encoding on Linux is UTF-8: the name comes out byte for byte.
  EXPECT_EQ(ReadFile("out/" + name), "readme");
  EXPECT_TRUE(fs::is_directory("out/" + folder));
  EXPECT_EQ(Events(), SuccessfulRun({name}));
}

TEST_F(UnzipTest, Zip64EntriesAreRead) {
  const std::string text = CompressibleText(70000, 7);
  ZipBuilder()
      .UseZip64()
      .AddFile("big/one.txt", text)
      .AddFile("big/two.bin", "two", ZipMethod::Stored)
      .WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(ReadFile("out/big/one.txt"), text);
  EXPECT_EQ(ReadFile("out/big/two.bin"), "two");
}

TEST_F(UnzipTest, EntryCountBeyondSixteenBitsIsReadFromTheZip64Directory) {
  constexpr long long kCount = 65535 + 10;
  ZipBuilder builder;
  for (long long i = 0; i + 1 < kCount; ++i) builder.AddDirectory("d/");
  builder.AddFile("d/last.txt", "end");
  builder.WriteTo("many.zip");

  ASSERT_TRUE(Extract("many.zip", "out"));

  const std::vector<UnzipEvent> events = Events();
  ASSERT_EQ(events.size(), static_cast<size_t>(kCount) + 1);
  EXPECT_EQ(events[kCount - 1], (UnzipEvent{"unzip", "d/last.txt", kCount, kCount}));
  EXPECT_EQ(events.back(), (UnzipEvent{"succ", "", kCount, kCount}));
  EXPECT_EQ(ReadFile("out/d/last.txt"), "end");
}

TEST_F(UnzipTest, LongestNameThatFitsIsExtracted) {
  // 511 bytes: folders of 99 letters plus the separator, then a file name filling the rest.
  std::string name;
  while (name.size() + 100 < 511) name += std::string(99, 'f') + "/";
  name += std::string(511 - name.size(), 'n');
  ASSERT_EQ(name.size(), 511u);
  ZipBuilder().AddFile(name, "fits").WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out"));

  EXPECT_EQ(ReadFile("out/" + name), "fits");
}

TEST_F(UnzipTest, WithoutCallbackTheResultStillTellsTheOutcome) {
  ZipBuilder().AddFile("a/b.txt", "quiet").WriteTo("pack.zip");

  testing::internal::CaptureStdout();
  EXPECT_TRUE(ZipUtil::Unzip("pack.zip", "out", UnzipCallback()));
  EXPECT_FALSE(ZipUtil::Unzip("missing.zip", "out", UnzipCallback()));
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(ReadFile("out/a/b.txt"), "quiet");
}

}  // namespace

// Archives whose central directory keeps sizes and offsets in Zip64 extra fields, as every package
// past 4 GiB does, written at build time by real packers (tests/support/make_zip64_archives.py).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "install/zip_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"

using testing_support::ReadFile;
using testing_support::SuccessfulRun;
using testing_support::UnzipEvent;

namespace {

namespace fs = std::filesystem;
using Events = std::vector<UnzipEvent>;

std::string Archive(const std::string& name) {
  return std::string(TIDEWAKE_TEST_BINARY_DIR) + "/zip64/" + name;
}

class Zip64Test : public testing_support::ExtractionTest {
 protected:
  bool Extract(const std::string& zipPath) { return ExtractionTest::Extract(zipPath, "out"); }
};

class Zip64PackerTest : public Zip64Test, public testing::WithParamInterface<const char*> {};

TEST_P(Zip64PackerTest, EveryEntryComesOutWhole) {
  const std::vector<std::string> files = {"readme.txt", "data/levels/one.txt", "data/blob.bin",
                                          "data/empty.txt", "last.txt"};

  ASSERT_TRUE(Extract(Archive(GetParam()))) << log();

  EXPECT_EQ(events(), SuccessfulRun(files));
  EXPECT_EQ(log(), "start unzip\nend unzip\n");
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadFile("out/" + name), ReadFile(Archive("tree/" + name)));
  }
}

INSTANTIATE_TEST_SUITE_P(Packers, Zip64PackerTest,
                         testing::Values("infozip-fz.zip", "python-forced.zip"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param[0] == 'i' ? "InfoZip" : "Python");
                         });

// huge-declared.zip holds small.txt and huge.bin, which declares 1 TiB but holds 12 bytes.
TEST_F(Zip64Test, ArchiveNeedingMoreRoomThanTheDiskHasWritesNothing) {
  EXPECT_FALSE(Extract(Archive("huge-declared.zip")));

  const Events got = events();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].event, "fail");
  EXPECT_EQ(got[0].message.rfind("not enough disk space: 1099511627782 bytes needed, ", 0), 0u)
      << got[0].message;
  EXPECT_EQ(got[0].first, 0);
  EXPECT_EQ(got[0].second, 2);
  EXPECT_EQ(log(), "start unzip\n" + got[0].message + "\n");
  EXPECT_TRUE(fs::is_empty("out"));
}

TEST_F(Zip64Test, RoomIsCountedForThePickedEntriesOnly) {
  ASSERT_TRUE(ExtractionTest::Extract(Archive("huge-declared.zip"), "out", {{true, false}, 0}))
      << log();

  EXPECT_EQ(events(), (Events{{"unzip", "small.txt", 1, 1}, {"succ", "", 1, 1}}));
  EXPECT_EQ(ReadFile("out/small.txt"), "small\n");
  EXPECT_FALSE(fs::exists("out/huge.bin"));
}

TEST_F(Zip64Test, FilesTheArchiveReplacesGiveTheirRoomBack) {
  // A sparse file of 1 TiB where huge.bin goes: replacing it frees as much as huge.bin declares,
  // so the room check lets the archive through and the byte count then catches huge.bin.
  fs::create_directory("out");
  { std::ofstream("out/huge.bin"); }
  fs::resize_file("out/huge.bin", uint64_t{1} << 40);

  EXPECT_FALSE(Extract(Archive("huge-declared.zip")));

  EXPECT_EQ(events(),
            (Events{{"unzip", "small.txt", 1, 2}, {"fail", "extract file fail: huge.bin", 1, 2}}));
  EXPECT_EQ(log(), "start unzip\nsize check fail: huge.bin\n");
  EXPECT_EQ(ReadFile("out/small.txt"), "small\n");
  ASSERT_EQ(fs::file_size("out/huge.bin"), 12u);  // not the sparse terabyte any more
  EXPECT_EQ(ReadFile("out/huge.bin"), "not that big");
}

}  // namespace

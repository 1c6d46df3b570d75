#include <gtest/gtest.h>
#include <unzip.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "install/zip_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using testing_support::CompressibleText;
using testing_support::EntryDataOffset;
using testing_support::InTempDir;
using testing_support::OverwriteCompressedSize;
using testing_support::OverwriteUncompressedSize;
using testing_support::ReadFile;
using testing_support::UnzipEvent;
using testing_support::UnzipRecorder;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;
using Events = std::vector<UnzipEvent>;

// Every path below the working directory, sorted.
std::vector<std::string> Sorted() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    paths.push_back(entry.path().generic_string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class UnzipFailureTest : public testing_support::ExtractionTest {};

TEST_F(UnzipFailureTest, MissingArchive) {
  EXPECT_FALSE(Extract("nothere.zip", "out"));

  EXPECT_EQ(events(), (Events{{"fail", "open zip file fail: nothere.zip", 0, 0}}));
  EXPECT_EQ(log(), "open zip file fail: nothere.zip\n");
}

TEST_F(UnzipFailureTest, FilesThatOnlyLookLikeAnEmptyArchive) {
  const std::string record = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  const std::string counted = std::string("PK\x05\x06", 4) + std::string(4, '\0') +
                              std::string("\x01\x00\x01\x00", 4) + std::string(10, '\0');
  for (const std::string& bytes :
       {std::string(22, '\0'), record + "trailing bytes", counted, record.substr(0, 21)}) {
    WriteFile("odd.zip", bytes);
    UnzipRecorder recorder;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ZipUtil::Unzip("odd.zip", "out", recorder.Callback()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open zip file fail: odd.zip\n");
    EXPECT_EQ(recorder.Events(), (Events{{"fail", "open zip file fail: odd.zip", 0, 0}}));
  }
}

TEST_F(UnzipFailureTest, DestinationThatCannotBeCreated) {
  ZipBuilder().AddFile("a.txt", "a").WriteTo("pack.zip");

  EXPECT_FALSE(Extract("pack.zip", "no/such/out"));

  EXPECT_EQ(events(), (Events{{"fail", "create directory fail: no/such/out/", 0, 0}}));
  EXPECT_EQ(log(), "");
}

TEST_F(UnzipFailureTest, FolderBlockedByAFile) {
  WriteFile("out/a", "a plain file where a folder must go");
  ZipBuilder().AddFile("first.txt", "1").AddFile("a/b/c.txt", "c").WriteTo("pack.zip");

  EXPECT_FALSE(Extract("pack.zip", "out"));

  const Events got = events();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], (UnzipEvent{"unzip", "first.txt", 1, 2}));
  // The blocked level "finds something present"; the level below it cannot be made.
  EXPECT_EQ(got[1], (UnzipEvent{"fail", "create directory fail: out/a/b/", 1, 2}));
  EXPECT_EQ(log(), "start unzip\n");
}

TEST_F(UnzipFailureTest, ArchiveTruncatedInTheMiddle) {
  ZipBuilder()
      .AddFile("a.txt", CompressibleText(50000))
      .AddFile("b.txt", CompressibleText(50000, 2))
      .WriteTo("pack.zip");
  const std::string bytes = ReadFile("pack.zip");
  WriteFile("cut.zip", bytes.substr(0, bytes.size() / 2));

  EXPECT_FALSE(Extract("cut.zip", "out"));

  EXPECT_EQ(events(), (Events{{"fail", "open zip file fail: cut.zip", 0, 0}}));
  EXPECT_EQ(log(), "open zip file fail: cut.zip\n");
  EXPECT_TRUE(fs::is_empty("out"));
}

TEST_F(UnzipFailureTest, ReadErrorInTheMiddleOfAnEntryLeavesItPartlyWritten) {
  const std::string text = CompressibleText(2 << 20, 3);
  ZipBuilder()
      .AddFile("first.txt", "fine")
      .AddFile("big.txt", text)
      .AddFile("after.txt", "never")
      .WriteTo("pack.zip");
  std::string bytes = ReadFile("pack.zip");
  // The headers claim half the packed data: the inflater runs dry in the middle of the entry.
  const size_t packed =
      EntryDataOffset(bytes, "after.txt") - 30 - 9 - EntryDataOffset(bytes, "big.txt");
  OverwriteCompressedSize(bytes, "big.txt", static_cast<uint32_t>(packed / 2));
  WriteFile("bad.zip", bytes);

  EXPECT_FALSE(Extract("bad.zip", "out"));

  EXPECT_EQ(events(),
            (Events{{"unzip", "first.txt", 1, 3}, {"fail", "extract file fail: big.txt", 1, 3}}));
  EXPECT_EQ(log(), "start unzip\nread current file fail: big.txt\n");
  const auto written = fs::file_size("out/big.txt");
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, text.size());
  EXPECT_EQ(ReadFile("out/big.txt"), text.substr(0, written));
  EXPECT_FALSE(fs::exists("out/after.txt"));
}

TEST_F(UnzipFailureTest, BrokenDeflateStreamFailsAtItsFirstBlock) {
  ZipBuilder().AddFile("a.txt", CompressibleText(10000)).WriteTo("pack.zip");
  std::string bytes = ReadFile("pack.zip");
  // A final block of the reserved type 3: no inflater accepts it.
  bytes[EntryDataOffset(bytes, "a.txt")] = '\x07';
  WriteFile("bad.zip", bytes);

  EXPECT_FALSE(Extract("bad.zip", "out"));

  EXPECT_EQ(events(), (Events{{"fail", "extract file fail: a.txt", 0, 1}}));
  EXPECT_EQ(log(), "start unzip\nread current file fail: a.txt\n");
}

TEST_F(UnzipFailureTest, ChecksumMismatchFailsTheEntry) {
  const std::string content = "the publisher packed exactly this";
  ZipBuilder()
      .AddFile("ok.txt", "ok")
      .AddFile("changed.txt", content, ZipMethod::Stored)
      .WriteTo("pack.zip");
  std::string bytes = ReadFile("pack.zip");
  bytes[EntryDataOffset(bytes, "changed.txt") + 4] ^= 0x20;
  WriteFile("bad.zip", bytes);

  EXPECT_FALSE(Extract("bad.zip", "out"));

  EXPECT_EQ(events(),
            (Events{{"unzip", "ok.txt", 1, 2}, {"fail", "extract file fail: changed.txt", 1, 2}}));
  EXPECT_EQ(log(), "start unzip\ncrc check fail: changed.txt\n");
}

// An entry whose data ends before the size its headers declare, as a broken packer or a tampered
// archive gives: minizip ends the entry without an error and compares the CRC-32 only when the
// declared size came out, so only the count of bytes written tells.
class ShortEntryTest : public UnzipFailureTest, public testing::WithParamInterface<ZipMethod> {};

TEST_P(ShortEntryTest, EntryEndingBeforeItsDeclaredSizeFails) {
  const std::string content = CompressibleText(30000, 4);
  ZipBuilder()
      .AddFile("ok.txt", "ok")
      .AddFile("short.txt", content, GetParam())
      .AddFile("after.txt", "never")
      .WriteTo("pack.zip");
  std::string bytes = ReadFile("pack.zip");
  OverwriteUncompressedSize(bytes, "short.txt", static_cast<uint32_t>(content.size() + 1000));
  WriteFile("bad.zip", bytes);

  EXPECT_FALSE(Extract("bad.zip", "out"));

  EXPECT_EQ(events(),
            (Events{{"unzip", "ok.txt", 1, 3}, {"fail", "extract file fail: short.txt", 1, 3}}));
  EXPECT_EQ(log(), "start unzip\nsize check fail: short.txt\n");
  EXPECT_FALSE(fs::exists("out/after.txt"));
}

INSTANTIATE_TEST_SUITE_P(Methods, ShortEntryTest,
                         testing::Values(ZipMethod::Deflated, ZipMethod::Stored),
                         [](const testing::TestParamInfo<ZipMethod>& info) {
                           return std::string(info.param == ZipMethod::Stored ? "Stored"
                                                                              : "Deflated");
                         });

class ZipSlipTest : public UnzipFailureTest, public testing::WithParamInterface<const char*> {};

TEST_P(ZipSlipTest, NameLeadingOutOfTheDestinationWritesNothing) {
  const std::string name = GetParam();
  ZipBuilder()
      .AddFile("good/first.txt", "would be fine")
      .AddFile(name, "payload")
      .AddFile("after.txt", "also fine")
      .WriteTo("pack.zip");
  fs::create_directory("out");

  EXPECT_FALSE(Extract("pack.zip", "out/inner"));

  EXPECT_EQ(events(), (Events{{"fail", "unsafe entry name: " + name, 1, 3}}));
  EXPECT_EQ(log(), "start unzip\nunsafe entry name: " + name + "\n");
  EXPECT_TRUE(fs::is_empty("out/inner"));
  EXPECT_EQ(Sorted(), (std::vector<std::string>{"./out", "./out/inner", "./pack.zip"}));
}

INSTANTIATE_TEST_SUITE_P(Names, ZipSlipTest,
                         testing::Values("../evil.txt", "../../evil.txt", "a/../../evil.txt",
                                         "a\\..\\..\\evil.txt", "..\\evil.txt", "/abs.txt",
                                         "\\lead.txt", "C:/x.txt", "c:evil.txt", "a/.../b.txt"));

TEST_F(UnzipFailureTest, NameTooLongForTheBufferIsRefusedNotCut) {
  std::string name;
  while (name.size() + 100 < 512) name += std::string(99, 'f') + "/";
  name += std::string(512 - name.size(), 'n');
  ZipBuilder().AddFile("ok.txt", "ok").AddFile(name, "long").WriteTo("pack.zip");

  EXPECT_FALSE(Extract("pack.zip", "out"));

  EXPECT_EQ(events(), (Events{{"fail", "read entry info fail", 1, 2}}));
  EXPECT_EQ(log(), "start unzip\nread entry info fail\n");
  EXPECT_TRUE(fs::is_empty("out"));
}

TEST_F(UnzipFailureTest, DirectoryShorterThanItsCountFailsMovingOn) {
  ZipBuilder().AddFile("a.txt", "a").AddFile("b.txt", "b").WriteTo("pack.zip");
  std::string bytes = ReadFile("pack.zip");
  // The end record claims three entries on this disk and in all.
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  ASSERT_NE(end, std::string::npos);
  bytes[end + 8] = 3;
  bytes[end + 10] = 3;
  WriteFile("bad.zip", bytes);

  EXPECT_FALSE(Extract("bad.zip", "out"));

  EXPECT_EQ(events(), (Events{{"fail", "cannont read next file: b.txt", 1, 3}}));
  EXPECT_EQ(log(), "start unzip\ncannont read next file: b.txt\n");
  EXPECT_TRUE(fs::is_empty("out"));
}

// ExtractCurrentEntry on its own, on the first entry of a real archive.
class ExtractEntryTest : public InTempDir {
 protected:
  void Open(const std::string& content) {
    ZipBuilder().AddFile("e.bin", content).WriteTo("pack.zip");
    archive_ = unzOpen64("pack.zip");
    ASSERT_NE(archive_, nullptr);
  }
  ~ExtractEntryTest() override {
    if (archive_ != nullptr) unzClose(archive_);
  }
  bool Extract(const std::string& outPath) {
    testing::internal::CaptureStdout();
    const bool result = ZipUtil::ExtractCurrentEntry(archive_, "e.bin", outPath, error_);
    log_ = testing::internal::GetCapturedStdout();
    return result;
  }

  unzFile archive_ = nullptr;
  std::string error_;
  std::string log_;
};

TEST_F(ExtractEntryTest, WritesTheEntry) {
  const std::string content = CompressibleText(40000);
  Open(content);

  ASSERT_TRUE(Extract("copy.bin"));

  EXPECT_EQ(ReadFile("copy.bin"), content);
  EXPECT_EQ(error_, "");
  EXPECT_EQ(log_, "");
}

TEST_F(ExtractEntryTest, OutputThatCannotBeOpened) {
  Open("x");

  EXPECT_FALSE(Extract("missing/copy.bin"));

  EXPECT_EQ(error_, "open unzip file fail: e.bin");
  EXPECT_EQ(log_, "open unzip file fail: e.bin\n");
  // The entry was closed again: it can be extracted once more.
  EXPECT_TRUE(Extract("copy.bin"));
  EXPECT_EQ(ReadFile("copy.bin"), "x");
}

TEST_F(ExtractEntryTest, NoArchive) {
  archive_ = nullptr;

  EXPECT_FALSE(Extract("copy.bin"));

  EXPECT_EQ(error_, "open inzip file fail: e.bin");
  EXPECT_EQ(log_, "open inzip file fail: e.bin\n");
}

TEST_F(ExtractEntryTest, FullDiskIsAFailureForSmallAndLargeEntries) {
  // A small entry fails only when the buffered bytes are flushed at close, a large one already
  // while it is being written.
  for (const size_t size : {size_t{100}, size_t{1} << 20}) {
    SCOPED_TRACE(size);
    if (archive_ != nullptr) unzClose(archive_);
    Open(CompressibleText(size));

    EXPECT_FALSE(Extract("/dev/full"));

    EXPECT_EQ(error_, "write unzip file fail: e.bin");
  }
}

}  // namespace

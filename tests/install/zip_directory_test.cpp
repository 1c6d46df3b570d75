// The end records and central directory read from bytes alone, as a differential update gets them
// from Range responses: real archives from several packers, and archives damaged on purpose.

#include "install/zip_directory.h"

#include <gtest/gtest.h>
#include <unzip.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using testing_support::CompressibleText;
using testing_support::IncompressibleBytes;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

std::string Packed(const std::string& name) {
  return std::string(TIDEWAKE_TEST_BINARY_DIR) + "/zip64/" + name;
}

uint32_t Le(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int k = width - 1; k >= 0; --k) {
    value = value << 8 | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(k)));
  }
  return value;
}

void PutLe(std::string& bytes, size_t at, uint64_t value, int width) {
  for (int k = 0; k < width; ++k)
    bytes.at(at + static_cast<size_t>(k)) = static_cast<char>(value >> (8 * k));
}

// What minizip, the extraction's reader, finds in the archive: name, CRC-32, sizes, offset.
struct Listed {
  std::string name;
  uint32_t crc32;
  uint64_t compressed, uncompressed, offset;
  bool operator==(const Listed&) const = default;
};

void PrintTo(const Listed& entry, std::ostream* out) {
  *out << entry.name << " crc " << entry.crc32 << " " << entry.compressed << "/"
       << entry.uncompressed << " @" << entry.offset;
}

std::vector<Listed> ListWithMinizip(const std::string& path) {
  std::unique_ptr<void, int (*)(unzFile)> archive(unzOpen64(path.c_str()), unzClose);
  std::vector<Listed> entries;
  if (archive == nullptr) return entries;
  for (int at = unzGoToFirstFile(archive.get()); at == UNZ_OK;
       at = unzGoToNextFile(archive.get())) {
    unz_file_info64 info{};
    char name[600] = {};
    unzGetCurrentFileInfo64(archive.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0);
    // minizip names the data's start; the local header and its extra field come before it.
    unzOpenCurrentFile(archive.get());
    const uint64_t data = unzGetCurrentFileZStreamPos64(archive.get());
    const uint64_t header = data - 30 - info.size_filename -
                            static_cast<uint64_t>(unzGetLocalExtrafield(archive.get(), nullptr, 0));
    unzCloseCurrentFile(archive.get());
    entries.push_back({name, static_cast<uint32_t>(info.crc), info.compressed_size,
                       info.uncompressed_size, header});
  }
  return entries;
}

std::vector<Listed> ListOf(const std::vector<ZipDirectoryEntry>& directory) {
  std::vector<Listed> entries;
  for (const ZipDirectoryEntry& entry : directory) {
    entries.push_back({entry.name, entry.crc32, entry.compressedBytes, entry.uncompressedBytes,
                       entry.localHeaderOffset});
  }
  return entries;
}

// The end records' view and the directory's bytes of a whole archive.
struct Split {
  ZipTail tail;
  std::string directory;
};

Split SplitArchive(const std::string& bytes) {
  const std::optional<ZipTail> tail = ParseZipTail(bytes, bytes.size());
  if (!tail) return {};
  return {*tail, bytes.substr(static_cast<size_t>(tail->directoryOffset),
                              static_cast<size_t>(tail->directoryBytes))};
}

class ZipDirectoryTest : public InTempDir {};

// Archives written by each packer the tests have; the entries minizip lists must be read the same
// way from bytes, with spans that tile the archive from the first local header to the directory.
struct Source {
  const char* label;
  std::function<std::string()> make;  // the archive's path
};

void PrintTo(const Source& source, std::ostream* out) { *out << source.label; }

class ZipDirectorySourceTest : public ZipDirectoryTest,
                               public testing::WithParamInterface<Source> {};

TEST_P(ZipDirectorySourceTest, ReadsWhatMinizipReadsAndTilesTheArchive) {
  const std::string path = GetParam().make();
  const std::string bytes = ReadFile(path);
  const std::optional<std::vector<ZipDirectoryEntry>> read = ReadZipDirectoryOfFile(path);
  ASSERT_TRUE(read.has_value());
  const std::vector<Listed> expected = ListWithMinizip(path);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ListOf(*read), expected);

  const Split split = SplitArchive(bytes);
  std::string records;
  uint64_t next = 0;
  for (const ZipDirectoryEntry& entry : *read) {
    SCOPED_TRACE(entry.name);
    records += entry.centralRecord;
    EXPECT_EQ(entry.spanStart, next);
    ASSERT_LT(entry.spanStart, entry.spanEnd);
    EXPECT_EQ(Le(bytes, static_cast<size_t>(entry.spanStart), 4), 0x04034b50u);
    EXPECT_EQ(bytes.substr(static_cast<size_t>(entry.spanStart) + 30, entry.name.size()),
              entry.name);
    next = entry.spanEnd;
  }
  EXPECT_EQ(next, split.tail.directoryOffset);
  EXPECT_EQ(records, split.directory);
  EXPECT_EQ(split.tail.entryCount, read->size());

  // From the last bytes alone, as the first Range request brings them.
  const std::string tail = bytes.substr(bytes.size() - std::min<size_t>(bytes.size(), 200));
  EXPECT_EQ(ParseZipTail(tail, bytes.size())->directoryOffset, split.tail.directoryOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Packers, ZipDirectorySourceTest,
    testing::Values(Source{"MinizipStoredDeflatedAndFolders",
                           [] {
                             ZipBuilder()
                                 .AddFile("readme.txt", "hello")
                                 .AddDirectory("data/")
                                 .AddFile("data/text.txt", CompressibleText(50000))
                                 .AddFile("data/noise.bin", IncompressibleBytes(30000),
                                          ZipMethod::Stored)
                                 .AddFile("data/empty.txt", "")
                                 .WriteTo("built.zip");
                             return std::string("built.zip");
                           }},
                    Source{"MinizipZip64",
                           [] {
                             ZipBuilder()
                                 .AddFile("a.txt", CompressibleText(20000))
                                 .AddFile("b.bin", IncompressibleBytes(20000), ZipMethod::Stored)
                                 .UseZip64()
                                 .WriteTo("zip64.zip");
                             return std::string("zip64.zip");
                           }},
                    Source{"InfoZipForcedZip64", [] { return Packed("infozip-fz.zip"); }},
                    Source{"PythonOffsetsInZip64Extras",
                           [] { return Packed("python-forced.zip"); }},
                    Source{"DataDescriptorsAndComment", [] { return Packed("streamed.zip"); }}),
    [](const testing::TestParamInfo<Source>& info) { return std::string(info.param.label); });

// More entries than the classic end record counts: only the Zip64 end record holds the number.
TEST_F(ZipDirectoryTest, EntryCountPastTheClassicLimitComesFromTheZip64Record) {
  ZipBuilder builder;
  for (int i = 0; i < 65540; ++i)
    builder.AddFile(std::string("f").append(std::to_string(i)), "", ZipMethod::Stored);
  builder.WriteTo("many.zip");
  const std::optional<std::vector<ZipDirectoryEntry>> read = ReadZipDirectoryOfFile("many.zip");
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 65540u);
  EXPECT_EQ(read->back().name, "f65539");
}

// One archive damaged in one way per case; every reading must refuse it, never guess.
struct Damage {
  const char* label;
  std::function<void(std::string& bytes, size_t endAt)> apply;  // endAt: the end record
  bool tailOnly;  // true when ParseZipTail itself must refuse; else ParseZipDirectory
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.label; }

class ZipDamageTest : public ZipDirectoryTest, public testing::WithParamInterface<Damage> {};

std::string ThreeEntryArchive() {
  ZipBuilder()
      .AddFile("one.txt", CompressibleText(3000, 1))
      .AddFile("two.bin", IncompressibleBytes(2000), ZipMethod::Stored)
      .AddFile("three.txt", CompressibleText(3000, 3))
      .WriteTo("three.zip");
  return ReadFile("three.zip");
}

TEST_P(ZipDamageTest, IsRefused) {
  std::string bytes = ThreeEntryArchive();
  const size_t endAt = bytes.size() - 22;
  ASSERT_EQ(Le(bytes, endAt, 4), 0x06054b50u);
  // Undamaged, it reads.
  ASSERT_TRUE(ParseZipDirectory(SplitArchive(bytes).directory, SplitArchive(bytes).tail));

  GetParam().apply(bytes, endAt);
  const std::optional<ZipTail> tail = ParseZipTail(bytes, bytes.size());
  if (GetParam().tailOnly) {
    EXPECT_FALSE(tail.has_value());
    return;
  }
  ASSERT_TRUE(tail.has_value());
  const std::string directory = bytes.substr(static_cast<size_t>(tail->directoryOffset),
                                             static_cast<size_t>(tail->directoryBytes));
  EXPECT_FALSE(ParseZipDirectory(directory, *tail).has_value());
}

size_t CentralRecordAt(const std::string& bytes, int index) {
  size_t at = Le(bytes, bytes.size() - 22 + 16, 4);
  for (int i = 0; i < index; ++i) {
    at += 46 + Le(bytes, at + 28, 2) + Le(bytes, at + 30, 2) + Le(bytes, at + 32, 2);
  }
  return at;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipDamageTest,
    testing::Values(
        Damage{"EndRecordCutShort", [](std::string& b, size_t) { b.pop_back(); }, true},
        Damage{"NoEndRecord", [](std::string& b, size_t e) { b[e] = 'X'; }, true},
        Damage{"CommentLengthPastTheEnd", [](std::string& b, size_t e) { PutLe(b, e + 20, 5, 2); },
               true},
        Damage{"DirectoryOffsetPastTheEndRecord",
               [](std::string& b, size_t e) { PutLe(b, e + 16, e + 1, 4); }, true},
        Damage{"DirectoryRunningIntoTheEndRecord",
               [](std::string& b, size_t e) { PutLe(b, e + 12, Le(b, e + 12, 4) + 1, 4); }, true},
        Damage{"CountsOfThisDiskAndAllDisagree",
               [](std::string& b, size_t e) { PutLe(b, e + 8, 2, 2); }, true},
        Damage{"SecondDisk", [](std::string& b, size_t e) { PutLe(b, e + 4, 1, 2); }, true},
        Damage{"SaturatedOffsetWithoutZip64Records",
               [](std::string& b, size_t e) { PutLe(b, e + 16, 0xFFFFFFFF, 4); }, true},
        Damage{"MoreEntriesThanRecords",
               [](std::string& b, size_t e) {
                 PutLe(b, e + 8, 4, 2);
                 PutLe(b, e + 10, 4, 2);
               },
               false},
        Damage{"FewerEntriesThanRecords",
               [](std::string& b, size_t e) {
                 PutLe(b, e + 8, 2, 2);
                 PutLe(b, e + 10, 2, 2);
               },
               false},
        Damage{"BrokenRecordSignature",
               [](std::string& b, size_t) { b[CentralRecordAt(b, 1)] = 'X'; }, false},
        Damage{"NameRunningPastTheDirectory",
               [](std::string& b, size_t) { PutLe(b, CentralRecordAt(b, 2) + 28, 300, 2); }, false},
        Damage{"LocalHeaderInsideTheDirectory",
               [](std::string& b, size_t e) {
                 PutLe(b, CentralRecordAt(b, 2) + 42, Le(b, e + 16, 4) + 4, 4);
               },
               false},
        Damage{"TwoEntriesAtOneOffset",
               [](std::string& b, size_t) {
                 PutLe(b, CentralRecordAt(b, 2) + 42, Le(b, CentralRecordAt(b, 1) + 42, 4), 4);
               },
               false},
        Damage{"DataOverlappingTheNextEntry",
               [](std::string& b, size_t) {
                 PutLe(b, CentralRecordAt(b, 0) + 20, Le(b, CentralRecordAt(b, 1) + 42, 4), 4);
               },
               false},
        Damage{"SaturatedSizeWithoutZip64Extra",
               [](std::string& b, size_t) { PutLe(b, CentralRecordAt(b, 1) + 24, 0xFFFFFFFF, 4); },
               false},
        Damage{"SecondDiskEntry",
               [](std::string& b, size_t) { PutLe(b, CentralRecordAt(b, 1) + 34, 1, 2); }, false}),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.label); });

// The first Range request asks for a fixed amount: the end record must be found wherever in it,
// and an end record the request did not reach is no end record.
TEST_F(ZipDirectoryTest, EndRecordBehindACommentIsFoundOnlyWhenTheTailHoldsIt) {
  std::string bytes = ThreeEntryArchive();
  const Split plain = SplitArchive(bytes);
  // A comment that itself looks like an end record at its start.
  std::string comment = "PK\x05\x06";
  comment += std::string(400, 'c');
  PutLe(bytes, bytes.size() - 2, comment.size(), 2);
  bytes += comment;

  const std::optional<ZipTail> whole = ParseZipTail(bytes, bytes.size());
  ASSERT_TRUE(whole.has_value());
  EXPECT_EQ(whole->directoryOffset, plain.tail.directoryOffset);
  EXPECT_EQ(whole->entryCount, 3u);
  const std::string justIt = bytes.substr(bytes.size() - comment.size() - 22);
  EXPECT_TRUE(ParseZipTail(justIt, bytes.size()).has_value());
  EXPECT_FALSE(ParseZipTail(justIt.substr(1), bytes.size()).has_value());
  EXPECT_FALSE(ParseZipTail(bytes, bytes.size() - 1).has_value());
}

// Zip64 end records: the locator must point into the bytes at hand, at a Zip64 end record.
TEST_F(ZipDirectoryTest, Zip64LocatorPointingAnywhereButItsRecordIsRefused) {
  const std::string bytes = ReadFile(Packed("python-forced.zip"));
  const size_t endAt = bytes.size() - 22;
  const size_t locatorAt = endAt - 20;
  ASSERT_EQ(Le(bytes, locatorAt, 4), 0x07064b50u);
  const uint64_t recordAt = Le(bytes, locatorAt + 8, 4);
  ASSERT_TRUE(ParseZipTail(bytes, bytes.size()).has_value());

  // A tail that starts after the Zip64 record.
  EXPECT_FALSE(ParseZipTail(bytes.substr(static_cast<size_t>(recordAt) + 1), bytes.size()));
  EXPECT_TRUE(ParseZipTail(bytes.substr(static_cast<size_t>(recordAt)), bytes.size()));
  std::string moved = bytes;
  PutLe(moved, locatorAt + 8, recordAt + 4, 4);
  EXPECT_FALSE(ParseZipTail(moved, moved.size()));
  std::string lying = bytes;
  PutLe(lying, static_cast<size_t>(recordAt) + 48, endAt, 4);  // the directory's offset
  EXPECT_FALSE(ParseZipTail(lying, lying.size()));
}

}  // namespace

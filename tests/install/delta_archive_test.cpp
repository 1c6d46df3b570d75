// The small zip a differential update writes from the fetched spans: the ordinary extraction must
// install exactly the chosen entries from it, whatever packer made the original.

#include "install/delta_archive.h"

#include <gtest/gtest.h>
#include <unzip.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "install/zip_util.h"
#include "platform/sha256.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using testing_support::CompressibleText;
using testing_support::IncompressibleBytes;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;

std::string Packed(const std::string& name) {
  return std::string(TIDEWAKE_TEST_BINARY_DIR) + "/zip64/" + name;
}

std::string Sha256Hex(std::string_view bytes) {
  platform::Sha256 hash;
  platform::Sha256::Digest digest{};
  std::string failure;
  EXPECT_TRUE(hash.Begin(&failure) && hash.Update(bytes.data(), bytes.size(), &failure) &&
              hash.Finish(&digest, &failure));
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) text += {kHex[byte >> 4], kHex[byte & 15]};
  return text;
}

// Files below root, as relative names with '/', folders with a trailing '/'.
std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> names;
  if (!fs::exists(root)) return names;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(item.path(), root).generic_string();
    names.insert(item.is_directory() ? name + "/" : name);
  }
  return names;
}

bool Extract(const std::string& zip, const std::string& dir) {
  testing::internal::CaptureStdout();
  const bool done = ZipUtil::Unzip(zip, dir, nullptr);
  testing::internal::GetCapturedStdout();
  return done;
}

struct Source {
  const char* label;
  std::function<std::string()> make;  // the archive's path
};

Source Built() {
  return {"Minizip", [] {
            ZipBuilder()
                .AddFile("runa3D.exe", "game")
                .AddDirectory("data/")
                .AddFile("data/text.txt", CompressibleText(50000))
                .AddFile("data/noise.bin", IncompressibleBytes(30000), ZipMethod::Stored)
                .AddFile("data/empty.txt", "")
                .AddFile("last.txt", "last")
                .WriteTo("source.zip");
            return std::string("source.zip");
          }};
}

const Source kSources[] = {
    Built(),
    {"MinizipZip64",
     [] {
       ZipBuilder()
           .AddFile("a.txt", CompressibleText(20000))
           .AddFile("b.bin", IncompressibleBytes(20000), ZipMethod::Stored)
           .AddFile("c.txt", "c")
           .UseZip64()
           .WriteTo("source.zip");
       return std::string("source.zip");
     }},
    {"InfoZipForcedZip64", [] { return Packed("infozip-fz.zip"); }},
    {"PythonOffsetsInZip64Extras", [] { return Packed("python-forced.zip"); }},
    {"DataDescriptorsAndComment", [] { return Packed("streamed.zip"); }},
};

struct Choice {
  const char* label;
  std::function<std::vector<size_t>(size_t count)> pick;  // indexes, in the order handed over
};

const Choice kChoices[] = {
    {"First", [](size_t) { return std::vector<size_t>{0}; }},
    {"Last", [](size_t n) { return std::vector<size_t>{n - 1}; }},
    {"EveryOtherGivenBackwards",
     [](size_t n) {
       std::vector<size_t> picked;
       for (size_t i = n; i-- > 0;) {
         if (i % 2 == 1) picked.push_back(i);
       }
       return picked;
     }},
    {"All",
     [](size_t n) {
       std::vector<size_t> picked(n);
       for (size_t i = 0; i < n; ++i) picked[i] = i;
       return picked;
     }},
    {"None", [](size_t) { return std::vector<size_t>{}; }},
};

class DeltaArchiveTest : public InTempDir {};

class DeltaArchiveSourceTest
    : public DeltaArchiveTest,
      public testing::WithParamInterface<std::tuple<Source, Choice, size_t>> {};

TEST_P(DeltaArchiveSourceTest, ExtractsToExactlyTheChosenEntries) {
  const auto& [source, choice, chunk] = GetParam();
  const std::string path = source.make();
  const std::string bytes = ReadFile(path);
  const std::vector<ZipDirectoryEntry> directory = ReadZipDirectoryOfFile(path).value();
  const std::vector<size_t> picked = choice.pick(directory.size());
  ASSERT_TRUE(Extract(path, "full"));

  // One stream from the first chosen span to the last, gaps included, as merged ranges bring it.
  uint64_t from = bytes.size(), to = 0;
  for (size_t i : picked) {
    from = std::min(from, directory[i].spanStart);
    to = std::max(to, directory[i].spanEnd);
  }
  {
    DeltaArchiveWriter writer("delta.zip", directory, picked);
    for (uint64_t at = from; at < to; at += chunk) {
      const uint64_t size = std::min<uint64_t>(chunk, to - at);
      ASSERT_TRUE(writer.Write(at, std::string_view(bytes).substr(at, size))) << at;
    }
    std::string error;
    ASSERT_TRUE(writer.Finish(error)) << error;
    ASSERT_EQ(writer.SpanSha256().size(), picked.size());
    for (size_t k = 0; k < picked.size(); ++k) {
      const ZipDirectoryEntry& entry = directory[picked[k]];
      EXPECT_EQ(writer.SpanSha256()[k], Sha256Hex(std::string_view(bytes).substr(
                                            entry.spanStart, entry.spanEnd - entry.spanStart)))
          << entry.name;
    }
  }

  ASSERT_TRUE(Extract("delta.zip", "out"));
  std::set<std::string> expected;
  for (size_t i : picked) {
    const std::string& name = directory[i].name;
    expected.insert(name);
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      expected.insert(name.substr(0, slash + 1));
    }
  }
  EXPECT_EQ(Tree("out"), expected);
  for (const std::string& name : expected) {
    if (name.back() != '/') {
      EXPECT_EQ(ReadFile("out/" + name), ReadFile("full/" + name)) << name;
    }
  }
  const std::optional<std::vector<ZipDirectoryEntry>> written = ReadZipDirectoryOfFile("delta.zip");
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->size(), picked.size());
}

INSTANTIATE_TEST_SUITE_P(
    Packers, DeltaArchiveSourceTest,
    testing::Combine(testing::ValuesIn(kSources), testing::ValuesIn(kChoices),
                     testing::Values(size_t{7}, size_t{1} << 20)),
    [](const testing::TestParamInfo<std::tuple<Source, Choice, size_t>>& info) {
      return std::string(std::get<0>(info.param).label) + "_" + std::get<1>(info.param).label +
             (std::get<2>(info.param) == 7 ? "_SmallPieces" : "_Whole");
    });

// Bytes that do not make the chosen spans whole and in order are refused, and so is the archive.
struct Fault {
  const char* label;
  std::vector<size_t> picked;
  // Feeds the writer from the source's bytes; the result of the last Write.
  std::function<bool(DeltaArchiveWriter&, const std::string& bytes,
                     const std::vector<ZipDirectoryEntry>& directory)>
      feed;
  bool writeRefused;  // else the bytes are taken and only Finish finds them short
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.label; }

class DeltaArchiveFaultTest : public DeltaArchiveTest, public testing::WithParamInterface<Fault> {};

std::string_view Slice(const std::string& bytes, uint64_t start, uint64_t end) {
  return std::string_view(bytes).substr(start, end - start);
}

TEST_P(DeltaArchiveFaultTest, IsRefused) {
  const std::string path = Built().make();
  const std::string bytes = ReadFile(path);
  const std::vector<ZipDirectoryEntry> directory = ReadZipDirectoryOfFile(path).value();
  DeltaArchiveWriter writer("delta.zip", directory, GetParam().picked);
  EXPECT_EQ(GetParam().feed(writer, bytes, directory), !GetParam().writeRefused);
  std::string error;
  EXPECT_FALSE(writer.Finish(error));
  EXPECT_FALSE(error.empty());
}

// Source entries: 0 runa3D.exe, 1 data/, 2 data/text.txt, 3 data/noise.bin, 4 data/empty.txt,
// 5 last.txt.
INSTANTIATE_TEST_SUITE_P(
    Cases, DeltaArchiveFaultTest,
    testing::Values(
        Fault{"BytesGoingBack",
              {2, 3},
              [](DeltaArchiveWriter& w, const std::string& b, const auto& d) {
                EXPECT_TRUE(w.Write(d[2].spanStart, Slice(b, d[2].spanStart, d[2].spanEnd)));
                return w.Write(d[2].spanStart, Slice(b, d[2].spanStart, d[3].spanEnd));
              },
              true},
        Fault{"HoleInsideASpan",
              {2},
              [](DeltaArchiveWriter& w, const std::string& b, const auto& d) {
                const uint64_t middle = d[2].spanStart + 100;
                EXPECT_TRUE(w.Write(d[2].spanStart, Slice(b, d[2].spanStart, middle)));
                return w.Write(middle + 1, Slice(b, middle + 1, d[2].spanEnd));
              },
              true},
        Fault{"SpanStartSkipped",
              {2},
              [](DeltaArchiveWriter& w, const std::string& b, const auto& d) {
                return w.Write(d[2].spanStart + 1, Slice(b, d[2].spanStart + 1, d[2].spanEnd));
              },
              true},
        Fault{"StreamEndsOneByteEarly",
              {2, 5},
              [](DeltaArchiveWriter& w, const std::string& b, const auto& d) {
                return w.Write(d[2].spanStart, Slice(b, d[2].spanStart, d[5].spanEnd - 1));
              },
              false},
        Fault{"NothingArrives",
              {0},
              [](DeltaArchiveWriter&, const std::string&, const auto&) { return true; },
              false},
        Fault{"OtherBytesWhereAHeaderBelongs",
              {3},
              [](DeltaArchiveWriter& w, const std::string& b, const auto& d) {
                std::string span(Slice(b, d[3].spanStart, d[3].spanEnd));
                span[2] = 'X';
                return w.Write(d[3].spanStart, span);
              },
              true},
        Fault{"OneEntryTwice",
              {2, 2},
              [](DeltaArchiveWriter& w, const std::string& b, const auto& d) {
                return w.Write(d[2].spanStart, Slice(b, d[2].spanStart, d[2].spanEnd));
              },
              true},
        Fault{
            "NoSuchEntry",
            {6},
            [](DeltaArchiveWriter& w, const std::string& b, const auto&) { return w.Write(0, b); },
            true}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.label); });

// As many entries as the classic end record cannot count: the written archive needs the Zip64
// end records for the extraction to see them all.
TEST_F(DeltaArchiveTest, EntryCountPastTheClassicLimitIsWrittenInZip64Records) {
  ZipBuilder builder;
  for (int i = 0; i < 65536; ++i)
    builder.AddFile(std::string("f").append(std::to_string(i)), "", ZipMethod::Stored);
  builder.WriteTo("many.zip");
  const std::string bytes = ReadFile("many.zip");
  const std::vector<ZipDirectoryEntry> directory = ReadZipDirectoryOfFile("many.zip").value();
  std::vector<size_t> all(directory.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  {
    DeltaArchiveWriter writer("delta.zip", directory, all);
    ASSERT_TRUE(writer.Write(0, Slice(bytes, 0, directory.back().spanEnd)));
    std::string error;
    ASSERT_TRUE(writer.Finish(error)) << error;
  }
  std::unique_ptr<void, int (*)(unzFile)> archive(unzOpen64("delta.zip"), unzClose);
  ASSERT_NE(archive, nullptr);
  unz_global_info64 global{};
  ASSERT_EQ(unzGetGlobalInfo64(archive.get(), &global), UNZ_OK);
  EXPECT_EQ(global.number_entry, 65536u);
}

}  // namespace

// Extraction with the entries shared out among threads: the tree, the events (in the archive's
// order, counted one by one, from the calling thread) and the one failure reported; then a
// caller picking the entries to extract.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "install/installed_path.h"
#include "install/zip_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using testing_support::CompressibleText;
using testing_support::EntryDataOffset;
using testing_support::IncompressibleBytes;
using testing_support::ReadFile;
using testing_support::SuccessfulRun;
using testing_support::UnzipEvent;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;
using Events = std::vector<UnzipEvent>;

// More threads than the test machine may have cores: entries still finish out of order.
constexpr unsigned kThreads = 4;

struct Entry {
  std::string name;
  std::string content;
  ZipMethod method = ZipMethod::Deflated;
};

struct Failure {
  long long index;
  std::string message, logLine;
};

struct ThreadedCase {
  const char* title;
  // Made when the case runs: every test process builds the table, and megabytes of content
  // made for each would cost seconds under the sanitizers.
  std::vector<Entry> (*entries)();
  std::function<void(std::string& bytes)> damage;  // may be empty
  std::optional<Failure> failure;
};

std::vector<Entry> SmallFiles(size_t count, ZipMethod method = ZipMethod::Deflated) {
  std::vector<Entry> entries;
  for (size_t i = 0; i < count; ++i) {
    // Appended piece by piece: MinGW's GCC 12 sees an overlap in the chained "+" at -O3.
    std::string name("d");
    name.append(std::to_string(i % 6)).append("/f").append(std::to_string(i)).append(".txt");
    entries.push_back({name, CompressibleText(500 + 13 * i, static_cast<unsigned>(i)), method});
  }
  return entries;
}

std::vector<Entry> With(std::vector<Entry> entries, size_t at, Entry entry) {
  entries[at] = std::move(entry);
  return entries;
}

// A big first copy of one file, later copies small and quick: written out of order, the big one
// would win.
std::vector<Entry> SameFileThreeTimes() {
  std::vector<Entry> entries = SmallFiles(20);
  entries.insert(entries.begin(), {"dup/x.bin", CompressibleText(6 << 20, 9)});
  entries.push_back({"dup/./x.bin", "second"});
  entries.push_back({"dup\\x.bin", "third", ZipMethod::Stored});
  return entries;
}

const std::string& Big() {
  static const std::string big = CompressibleText(8 << 20, 5);
  return big;
}

const ThreadedCase kCases[] = {
    {"ManySmallFiles", [] { return SmallFiles(240); }, {}, {}},
    {"OneBigAmongSmallOnes",
     [] {
       return With(With(SmallFiles(12), 3, {"big.txt", Big()}), 7,
                   {"blob.bin", IncompressibleBytes(1 << 20)});
     },
     {}, {}},
    {"SameFileWrittenInArchiveOrder", SameFileThreeTimes, {}, {}},
    {"ChecksumFailureInTheMiddle", [] { return SmallFiles(40, ZipMethod::Stored); },
     [](std::string& bytes) { bytes[EntryDataOffset(bytes, "d2/f20.txt") + 3] ^= 0x20; },
     Failure{20, "extract file fail: d2/f20.txt", "crc check fail: d2/f20.txt"}},
    // Entry 5 fails only once its last byte is read; entry 30 at its first block, long before.
    {"EarliestFailedEntryIsReportedNotTheFirstToFail",
     [] {
       return With(With(SmallFiles(40), 5, {"big.txt", Big(), ZipMethod::Stored}), 30,
                   {"late.txt", Big()});
     },
     [](std::string& bytes) {
       bytes[EntryDataOffset(bytes, "big.txt") + 1000] ^= 0x20;
       bytes[EntryDataOffset(bytes, "late.txt")] = '\x07';
     },
     Failure{5, "extract file fail: big.txt", "crc check fail: big.txt"}},
};

void PrintTo(const ThreadedCase& threadedCase, std::ostream* out) { *out << threadedCase.title; }

class UnzipThreadsTest : public testing_support::ExtractionTest,
                         public testing::WithParamInterface<ThreadedCase> {};

TEST_P(UnzipThreadsTest, TreeEventsAndOutcomeAreThoseOfOnePassThroughTheArchive) {
  const ThreadedCase& c = GetParam();
  ZipBuilder builder;
  std::vector<std::string> names;
  const std::vector<Entry> entries = c.entries();
  for (const Entry& entry : entries) {
    builder.AddFile(entry.name, entry.content, entry.method);
    names.push_back(entry.name);
  }
  builder.WriteTo("pack.zip");
  std::string bytes = ReadFile("pack.zip");
  if (c.damage) c.damage(bytes);
  WriteFile("pack.zip", bytes);

  const bool extracted = Extract("pack.zip", "out", {{}, kThreads});

  const size_t written = c.failure ? static_cast<size_t>(c.failure->index) : names.size();
  Events expected = SuccessfulRun({names.begin(), names.begin() + static_cast<long>(written)});
  expected.pop_back();
  const auto total = static_cast<long long>(names.size());
  for (UnzipEvent& event : expected) event.second = total;
  expected.push_back(c.failure
                         ? UnzipEvent{"fail", c.failure->message, c.failure->index, total}
                         : UnzipEvent{"succ", "", total, total});
  EXPECT_EQ(extracted, !c.failure);
  EXPECT_EQ(events(), expected);
  EXPECT_EQ(log(), c.failure ? "start unzip\n" + c.failure->logLine + "\n"
                             : "start unzip\nend unzip\n");
  for (const std::thread::id& id : eventThreads()) EXPECT_EQ(id, std::this_thread::get_id());
  // The last copy of each file in the archive's order is the one on the disk.
  std::map<std::string, const Entry*> last;
  for (size_t i = 0; i < written; ++i) last[FileSystemKey(entries[i].name)] = &entries[i];
  for (const auto& [key, entry] : last) {
    SCOPED_TRACE(entry->name);
    EXPECT_TRUE(ReadFile("out/" + key) == entry->content);
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, UnzipThreadsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ThreadedCase>& info) {
                           return std::string(info.param.title);
                         });

class UnzipSelectionTest : public testing_support::ExtractionTest {};

TEST_F(UnzipSelectionTest, OnlyPickedEntriesAreWrittenAndCounted) {
  ZipBuilder()
      .AddFile("a/one.txt", "one")
      .AddFile("a/two.txt", "two")
      .AddDirectory("c/")
      .AddFile("b/three.txt", "three")
      .AddFile("four.txt", "four")
      .AddFile("a/one.txt", "newer, past the selection's end")
      .WriteTo("pack.zip");

  ASSERT_TRUE(Extract("pack.zip", "out", {{true, false, false, true, true}, kThreads}));

  EXPECT_EQ(events(), (Events{{"unzip", "a/one.txt", 1, 3},
                              {"unzip", "b/three.txt", 2, 3},
                              {"unzip", "four.txt", 3, 3},
                              {"succ", "", 3, 3}}));
  EXPECT_EQ(ReadFile("out/a/one.txt"), "one");
  EXPECT_EQ(ReadFile("out/b/three.txt"), "three");
  EXPECT_FALSE(fs::exists("out/a/two.txt"));
  EXPECT_FALSE(fs::exists("out/c"));
}

TEST_F(UnzipSelectionTest, UnsafeNameLeftOutOfTheSelectionStillRefusesTheArchive) {
  ZipBuilder().AddFile("good.txt", "good").AddFile("../evil.txt", "evil").WriteTo("pack.zip");

  EXPECT_FALSE(Extract("pack.zip", "out", {{true, false}, 0}));

  EXPECT_EQ(events(), (Events{{"fail", "unsafe entry name: ../evil.txt", 1, 2}}));
  EXPECT_TRUE(fs::is_empty("out"));
}

}  // namespace

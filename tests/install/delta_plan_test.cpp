// What a differential update fetches: the next version's directory against the manifest of the
// installed one and the files on the disk.

#include "install/delta_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/layout.h"
#include "install/zip_util.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using testing_support::AgeFile;
using testing_support::CompressibleText;
using testing_support::IncompressibleBytes;
using testing_support::InTempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;

// The files of a version, in archive order; a folder entry ends in '/', a program's name starts
// with '*' (packed with mode 0755).
using Files = std::vector<std::pair<std::string, std::string>>;

Files FirstVersion() {
  return {{"runa3D.exe", "game 1"},
          {"data/", ""},
          {"data/a.txt", CompressibleText(2000, 1)},
          {"data/b.bin", IncompressibleBytes(3000, 2)},
          {"data/c.txt", CompressibleText(100, 3)},
          {"data/d.txt", CompressibleText(5000, 4)}};
}

std::vector<ZipDirectoryEntry> Pack(const Files& files, const std::string& path) {
  ZipBuilder builder;
  for (const auto& [name, content] : files) {
    if (name.back() == '/') {
      builder.AddDirectory(name);
    } else if (name[0] == '*') {
      builder.AddExecutable(name.substr(1), content);
    } else {
      builder.AddFile(name, content,
                      name.ends_with(".bin") ? ZipMethod::Stored : ZipMethod::Deflated);
    }
  }
  builder.WriteTo(path);
  return ReadZipDirectoryOfFile(path).value_or(std::vector<ZipDirectoryEntry>{});
}

Files With(Files files, const std::string& name, const std::string& content) {
  for (auto& file : files) {
    if (file.first == name) {
      file.second = content;
      return files;
    }
  }
  files.emplace_back(name, content);
  return files;
}

std::string Installed(const std::string& name) { return installDirName + "/" + name; }

class DeltaPlanTest : public InTempDir {
 protected:
  // The first version installed as a full install leaves it: extracted, then the manifest.
  void SetUp() override {
    const std::vector<ZipDirectoryEntry> directory = Pack(FirstVersion(), "v1.zip");
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ZipUtil::Unzip("v1.zip", installDirName, nullptr));
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(WritePackageManifest(packageManifestPath, installDirName, directory));
  }

  std::vector<std::string> FetchedNames(const DeltaPlan& plan,
                                        const std::vector<ZipDirectoryEntry>& directory) {
    std::vector<std::string> names;
    for (size_t i : plan.fetched) names.push_back(directory.at(i).name);
    return names;
  }
};

struct Change {
  const char* label;
  Files next;                    // the next version's files
  std::function<void()> player;  // what happened to the install since
  std::vector<std::string> fetched;
};

void PrintTo(const Change& change, std::ostream* out) { *out << change.label; }

class DeltaPlanChangeTest : public DeltaPlanTest, public testing::WithParamInterface<Change> {};

TEST_P(DeltaPlanChangeTest, FetchesExactlyTheEntriesThatDiffer) {
  const Change& change = GetParam();
  if (change.player) change.player();
  const std::vector<ZipDirectoryEntry> next = Pack(change.next, "v2.zip");
  ASSERT_EQ(next.size(), change.next.size());

  const DeltaPlan plan =
      PlanDelta(next, ReadPackageManifest(packageManifestPath), installDirName, 0);

  EXPECT_EQ(FetchedNames(plan, next), change.fetched);
  EXPECT_EQ(plan.kept, next.size() - change.fetched.size());
  uint64_t spans = 0;
  for (size_t i : plan.fetched) spans += next[i].spanEnd - next[i].spanStart;
  EXPECT_EQ(plan.rangeBytes, spans);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeltaPlanChangeTest,
    testing::Values(
        Change{"SameContentRepublished", FirstVersion(), nullptr, {}},
        Change{"OneFileChanged",
               With(FirstVersion(), "data/a.txt", CompressibleText(2000, 9)),
               nullptr,
               {"data/a.txt"}},
        Change{"SameSizeOtherBytes",
               With(FirstVersion(), "data/b.bin", IncompressibleBytes(3000, 9)),
               nullptr,
               {"data/b.bin"}},
        Change{"FileAdded", With(FirstVersion(), "data/e.txt", "new"), nullptr, {"data/e.txt"}},
        Change{"FileTheInstallLacks",
               FirstVersion(),
               [] { fs::remove(Installed("data/c.txt")); },
               {"data/c.txt"}},
        Change{"EditedBySizeAlone",
               FirstVersion(),
               [] {
                 // The player's edit keeps the time the manifest knows.
                 const auto time = fs::last_write_time(Installed("data/c.txt"));
                 WriteFile(Installed("data/c.txt"), "edited");
                 fs::last_write_time(Installed("data/c.txt"), time);
               },
               {"data/c.txt"}},
        Change{"EditedByTimeAlone",
               FirstVersion(),
               [] {
                 WriteFile(Installed("data/c.txt"), CompressibleText(100, 8));
                 AgeFile(Installed("data/c.txt"), 7200);
               },
               {"data/c.txt"}},
        Change{"FolderRemoved",
               FirstVersion(),
               [] { fs::remove_all(Installed("data")); },
               {"data/", "data/a.txt", "data/b.bin", "data/c.txt", "data/d.txt"}},
        Change{"NoManifest",
               FirstVersion(),
               [] { fs::remove(packageManifestPath); },
               {"runa3D.exe", "data/a.txt", "data/b.bin", "data/c.txt", "data/d.txt"}},
        Change{"ManifestNamesAFileTwice",
               FirstVersion(),
               [] {
                 const std::string line = "00000000\t0\t0\t0\tdata/d.txt\n";
                 std::string text = testing_support::ReadFile(packageManifestPath);
                 WriteFile(packageManifestPath, text + line);
               },
               {"data/d.txt"}},
        // Windows files have no such mode to apply.
        Change{"ModeAlone",
               [] { Files files = FirstVersion(); files[0].first = "*runa3D.exe"; return files; }(),
               nullptr,
               platform::kPathSeparator == '/' ? std::vector<std::string>{"runa3D.exe"}
                                               : std::vector<std::string>{}},
        Change{"TwoNamesForOneFile",
               With(With(FirstVersion(), "./data/c.txt", CompressibleText(100, 3)), "data\\d.txt",
                    CompressibleText(5000, 4)),
               nullptr,
               {"data/c.txt", "data/d.txt", "./data/c.txt", "data\\d.txt"}}),
    [](const testing::TestParamInfo<Change>& info) { return std::string(info.param.label); });

// A kept file the game writes while the entries arrive is left out of the next manifest, not
// recorded with the entry's CRC-32 for bytes nobody checked.
TEST_F(DeltaPlanTest, KeptFileWrittenDuringTheUpdateLeavesTheManifest) {
  const std::vector<ZipDirectoryEntry> next =
      Pack(With(FirstVersion(), "data/a.txt", CompressibleText(2000, 9)), "v2.zip");
  const DeltaPlan plan = PlanDelta(next, ReadPackageManifest(packageManifestPath), installDirName);
  WriteFile(Installed("data/c.txt"), CompressibleText(100, 7));  // the same size
  AgeFile(Installed("data/c.txt"), -5);

  ASSERT_TRUE(WritePackageManifest(packageManifestPath, installDirName, next, plan.keptFiles));

  for (const ManifestEntry& entry : ReadPackageManifest(packageManifestPath)) {
    EXPECT_NE(entry.name, "data/c.txt");
  }
}

// Spans closer than the gap become one range: the bytes between cost less than a request.
struct Merge {
  const char* label;
  std::vector<std::string> changed;
  uint64_t gap;
  std::vector<std::pair<std::string, std::string>> ranges;  // first and last entry of each
};

void PrintTo(const Merge& merge, std::ostream* out) { *out << merge.label; }

class DeltaPlanMergeTest : public DeltaPlanTest, public testing::WithParamInterface<Merge> {};

TEST_P(DeltaPlanMergeTest, MergesNeighboursWithinTheGap) {
  Files next = FirstVersion();
  for (const std::string& name : GetParam().changed) next = With(next, name, name + " changed");
  const std::vector<ZipDirectoryEntry> directory = Pack(next, "v2.zip");
  auto span = [&](const std::string& name) {
    for (const ZipDirectoryEntry& entry : directory) {
      if (entry.name == name) return entry;
    }
    ADD_FAILURE() << name;
    return ZipDirectoryEntry{};
  };

  const DeltaPlan plan = PlanDelta(directory, ReadPackageManifest(packageManifestPath),
                                   installDirName, GetParam().gap);

  ASSERT_EQ(plan.ranges.size(), GetParam().ranges.size());
  uint64_t total = 0;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    EXPECT_EQ(plan.ranges[i].start, span(GetParam().ranges[i].first).spanStart) << i;
    EXPECT_EQ(plan.ranges[i].end, span(GetParam().ranges[i].second).spanEnd) << i;
    total += plan.ranges[i].end - plan.ranges[i].start;
  }
  EXPECT_EQ(plan.rangeBytes, total);
}

// b.bin, about 3 KB, lies between a.txt and c.txt.
INSTANTIATE_TEST_SUITE_P(
    Cases, DeltaPlanMergeTest,
    testing::Values(
        Merge{"AdjacentAlwaysOne", {"data/a.txt", "data/b.bin"}, 0, {{"data/a.txt", "data/b.bin"}}},
        Merge{"GapWithinTheLimit",
              {"data/a.txt", "data/c.txt"},
              4096,
              {{"data/a.txt", "data/c.txt"}}},
        Merge{"GapBeyondTheLimit",
              {"data/a.txt", "data/c.txt"},
              1000,
              {{"data/a.txt", "data/a.txt"}, {"data/c.txt", "data/c.txt"}}},
        Merge{"FirstAndLast",
              {"runa3D.exe", "data/d.txt"},
              100,
              {{"runa3D.exe", "runa3D.exe"}, {"data/d.txt", "data/d.txt"}}}),
    [](const testing::TestParamInfo<Merge>& info) { return std::string(info.param.label); });

}  // namespace

// The stage follows a package file as a download writes it, and the install after the check moves
// what the central directory confirms and extracts the rest. The "download" here is the test
// writing the archive's bytes in steps and telling the stage after each.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fs/locked_file_retry.h"
#include "install/package_stage.h"
#include "install/staged_install.h"
#include "platform/injected_holds.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unzip_recorder.h"
#include "tests/support/zip_builder.h"

using namespace std::chrono_literals;
using testing_support::CompressibleText;
using testing_support::EntryDataOffset;
using testing_support::IncompressibleBytes;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::UnzipRecorder;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipMethod;

namespace {

namespace fs = std::filesystem;

struct File {
  std::string name, content;
};

struct Case {
  const char* what;
  std::vector<File> files;  // in archive order; a name ending in '/' is a folder
  bool zip64 = false;
  // Changes the archive's bytes before the "download" (a damaged entry).
  std::function<void(std::string&)> damage;
  std::vector<std::string> staged;  // names the stage must hand over, in order
  size_t moved = 0;                 // of them, files the install takes from the stage
  bool installs = true;             // else the extraction of the rest fails, as without a stage
  // The download ends for the stage just inside this entry's data (a run cut short).
  const char* seenUntil = nullptr;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.what; }

const std::string kText = CompressibleText(300000);
const std::string kRandom = IncompressibleBytes(200000);

class StagedInstallTest : public InTempDir, public ::testing::WithParamInterface<Case> {
 protected:
  void SetUp() override { SetHeldFileWindow(1000ms); }
  void TearDown() override {
    platform::testing::ReleaseHeldFiles();
    SetHeldFileWindow(10s);
  }

  // The archive written to the package path in steps of `step` bytes while the stage follows.
  std::vector<StagedEntry> Download(const std::string& bytes, size_t step = 65536,
                                    size_t told = SIZE_MAX, unsigned inflaters = 0) {
    fs::create_directories("pkg");
    stage_ = std::make_unique<PackageStage>("pkg/p.zip", "pkg/.staged", bytes.size(), inflaters);
    EXPECT_TRUE(stage_->Start());
    // Laid out at its full length first, as ranges ahead of the prefix leave it: the bytes past
    // the prefix are not the package's yet.
    WriteFile("pkg/p.zip", std::string(bytes.size(), '\0'));
    std::fstream package("pkg/p.zip", std::ios::binary | std::ios::in | std::ios::out);
    for (size_t done = 0; done < bytes.size();) {
      const size_t piece = std::min(bytes.size() - done, step);
      package.write(bytes.data() + done, static_cast<std::streamsize>(piece)).flush();
      stage_->PrefixWritten(std::min(done += piece, told));
    }
    return stage_->Finish();
  }

  static std::string Archive(const std::vector<File>& files, bool zip64 = false) {
    ZipBuilder builder;
    builder.UseZip64(zip64);
    for (const File& file : files) {
      if (file.name.back() == '/') {
        builder.AddDirectory(file.name);
      } else {
        builder.AddFile(file.name, file.content,
                        file.content == kRandom ? ZipMethod::Stored : ZipMethod::Deflated);
      }
    }
    builder.WriteTo("built.zip");
    return ReadFile("built.zip");
  }

  void StagesAndMoves(const Case& c, const std::string& bytes, unsigned inflaters);

  std::unique_ptr<PackageStage> stage_;
  UnzipRecorder recorder_;
};

const Case kCases[] = {
    {"stored, deflated, folders and a UTF-8 name",
     {{"a/", ""}, {"a/t.txt", kText}, {"a/b/r.bin", kRandom}, {"\xe8\xaf\xb4.txt", "x"}},
     false, nullptr, {"a/t.txt", "a/b/r.bin", "\xe8\xaf\xb4.txt"}, 3},
    {"zip64 local headers", {{"t.txt", kText}, {"r.bin", kRandom}}, true, nullptr,
     {"t.txt", "r.bin"}, 2},
    {"a damaged entry ends the stage: what follows comes from the package",
     {{"t.txt", kText}, {"r.bin", kRandom}, {"u.txt", "after"}}, false,
     [](std::string& bytes) { bytes[EntryDataOffset(bytes, "r.bin") + 10] ^= 1; }, {"t.txt"}, 1,
     false},
    {"a name the stage cannot hold is passed over",
     {{"d", "a file"}, {"d/e.txt", "below a file"}, {"f.txt", kText}}, false, nullptr,
     {"d", "f.txt"}, 2, false},
    {"a stage cut short: what it did not reach comes from the package",
     {{"t.txt", kText}, {"r.bin", kRandom}, {"u.txt", kText}}, false, nullptr, {"t.txt"}, 1, true,
     "r.bin"},
    {"two entries of one name: the whole archive is extracted, in its order",
     {{"t.txt", "first"}, {"t.txt", "second"}}, false, nullptr, {"t.txt"}, 0},
    {"entries that inflaters finish out of order are handed over in archive order",
     {{"1.txt", kText}, {"2", "x"}, {"3.bin", kRandom}, {"4", "y"}, {"5.txt", kText}, {"6", "z"}},
     false, nullptr, {"1.txt", "2", "3.bin", "4", "5.txt", "6"}, 6},
    {"entries after a damaged one are not handed over, whoever finished them",
     {{"1.txt", kText}, {"2.bin", kRandom}, {"3", "x"}, {"4", "y"}, {"5", "z"}}, false,
     [](std::string& bytes) { bytes[EntryDataOffset(bytes, "2.bin") + 10] ^= 1; }, {"1.txt"}, 1,
     false},
};

INSTANTIATE_TEST_SUITE_P(Archives, StagedInstallTest, ::testing::ValuesIn(kCases));

TEST_P(StagedInstallTest, StagesThenMovesWhatTheDirectoryConfirms) {
  const Case& c = GetParam();
  std::string bytes = Archive(c.files, c.zip64);
  if (c.damage) c.damage(bytes);
  for (const unsigned inflaters : {1u, 3u}) {
    SCOPED_TRACE(testing::Message() << inflaters << " inflater(s)");
    fs::remove_all("pkg");
    fs::remove_all("out");
    StagesAndMoves(c, bytes, inflaters);
  }
}

void StagedInstallTest::StagesAndMoves(const Case& c, const std::string& bytes,
                                       unsigned inflaters) {
  UnzipRecorder recorder;
  const std::vector<StagedEntry> staged = Download(
      bytes, 13, c.seenUntil ? EntryDataOffset(bytes, c.seenUntil) + 1 : SIZE_MAX, inflaters);
  std::vector<std::string> names;
  for (const StagedEntry& entry : staged) names.push_back(entry.name);
  EXPECT_EQ(names, c.staged);

  // The package's first install target is held twice: the move waits for it.
  platform::testing::HoldFilesEndingIn(c.files.back().name, 2);
  const bool installed = InstallStaged({"pkg/p.zip", "out", staged, recorder.Callback()});
  EXPECT_EQ(installed, c.installs);
  size_t moved = 0;
  for (const StagedEntry& entry : staged) moved += fs::exists(entry.stagedPath) ? 0 : 1;
  EXPECT_EQ(moved, c.moved);
  if (!c.installs) return;
  std::map<std::string, std::string> last;  // of two entries of one name, the later stays
  for (const File& file : c.files) {
    if (file.name.back() != '/') last[file.name] = file.content;
  }
  for (const auto& [name, content] : last) EXPECT_EQ(ReadFile("out/" + name), content) << name;
  // One event per file placed: nothing is written twice, moved and then extracted again.
  const auto events = recorder.Events();
  EXPECT_EQ(events.back().event, "succ");
  const auto placed = std::count_if(events.begin(), events.end(),
                                    [](const auto& e) { return e.event == "unzip"; });
  const auto files = std::count_if(c.files.begin(), c.files.end(),
                                   [](const File& f) { return f.name.back() != '/'; });
  EXPECT_EQ(placed, files);
}

TEST_F(StagedInstallTest, FileHeldForGoodStopsTheInstallThereAndTheRestStays) {
  const std::string bytes = Archive({{"a.exe", "new program"}, {"b.txt", "new text"}});
  const std::vector<StagedEntry> staged = Download(bytes);
  WriteFile("out/b.txt", "earlier text");
  platform::testing::HoldFilesEndingIn("a.exe", -1);
  EXPECT_FALSE(InstallStaged({"pkg/p.zip", "out", staged, recorder_.Callback()}));
  EXPECT_EQ(recorder_.Events().back().event, "fail");
  EXPECT_EQ(ReadFile("out/b.txt"), "earlier text");
}

TEST_F(StagedInstallTest, StopReturnsWhileTheStageWaitsForBytes) {
  const std::string bytes = Archive({{"t.txt", kText}, {"u.txt", kText}});
  fs::create_directories("pkg");
  stage_ = std::make_unique<PackageStage>("pkg/p.zip", "pkg/.staged", bytes.size());
  ASSERT_TRUE(stage_->Start());
  WriteFile("pkg/p.zip", bytes.substr(0, bytes.size() / 2));  // the stage waits for the rest
  stage_->PrefixWritten(bytes.size() / 2);
  stage_->Discard();
  EXPECT_FALSE(fs::exists("pkg/.staged"));
}

}  // namespace

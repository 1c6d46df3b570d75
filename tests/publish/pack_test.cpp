#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <unzip.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "install/zip_util.h"
#include "publish/zip_writer.h"
#include "tests/publish/publish_fixture.h"
#include "tests/support/temp_dir.h"

using publish_testing::Digest;
using publish_testing::kFolder;
using publish_testing::MakeGame;
using publish_testing::Tool;
using publish_testing::Utf8;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

// Every file below the folder with its bytes, by name relative to it.
std::map<std::string, std::string> FilesBelow(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[entry.path().lexically_relative(folder).generic_string()] = ReadFile(entry.path().string());
    }
  }
  return files;
}

rapidjson::Document Json(const std::string& text) {
  rapidjson::Document document;
  document.Parse(text.c_str());
  EXPECT_TRUE(document.IsObject()) << text;
  return document;
}

std::vector<std::string> Strings(const rapidjson::Value& array) {
  std::vector<std::string> result;
  for (const auto& element : array.GetArray()) result.emplace_back(element.GetString());
  return result;
}

class PackTest : public InTempDir {};

TEST_F(PackTest, SameFilesGiveSameBytesWhateverTheirDates) {
  MakeGame("game");
  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "first"}).status, 0);

  // The same files made again in another order, days later: another directory order on disk and
  // other modification times.
  fs::create_directories("again/saves");
  WriteFile("again/" + Utf8(u8"资料/说明.txt"), ReadFile("game/" + Utf8(u8"资料/说明.txt")));
  WriteFile("again/data/readme.txt", ReadFile("game/data/readme.txt"));
  WriteFile("again/data/levels/level1.dat", ReadFile("game/data/levels/level1.dat"));
  WriteFile("again/runa3D.exe", ReadFile("game/runa3D.exe"));
  fs::permissions("again/runa3D.exe", fs::perms(0755), fs::perm_options::replace);
  for (const auto& entry : fs::recursive_directory_iterator("again")) {
    fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(24 * 40));
  }
  ASSERT_EQ(Tool({"pack", "again", "1.0.0", "second"}).status, 0);

  const std::string zip = "Marlwood77301/game_1_0_0.zip";
  ASSERT_FALSE(ReadFile("first/" + zip).empty());
  EXPECT_TRUE(ReadFile("first/" + zip) == ReadFile("second/" + zip));
  EXPECT_EQ(ReadFile("first/Marlwood77301/fileInfo_1_0_0.json"),
            ReadFile("second/Marlwood77301/fileInfo_1_0_0.json"));
}

TEST_F(PackTest, LauncherExtractionGivesBackEveryFileAndTheProgramStaysExecutable) {
  MakeGame("game");
  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server"}).status, 0);

  testing::internal::CaptureStdout();
  const bool extracted = ZipUtil::Unzip(kFolder + "/game_1_0_0.zip", "Kelpstone", nullptr);
  testing::internal::GetCapturedStdout();
  ASSERT_TRUE(extracted);

  EXPECT_EQ(FilesBelow("Kelpstone"), FilesBelow("game"));
  EXPECT_TRUE(fs::is_directory("Kelpstone/saves"));
  const fs::perms program = fs::status("Kelpstone/runa3D.exe").permissions();
  EXPECT_NE(program & fs::perms::owner_exec, fs::perms::none);
  const fs::perms data = fs::status("Kelpstone/data/readme.txt").permissions();
  EXPECT_EQ(data & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(PackTest, FileInfoStatesThePackageAndEveryFile) {
  MakeGame("game");
  ASSERT_EQ(Tool({"pack", "game", "2.10.3", "server"}).status, 0);

  const std::string zip = ReadFile(kFolder + "/game_2_10_3.zip");
  const rapidjson::Document info = Json(ReadFile(kFolder + "/fileInfo_2_10_3.json"));
  EXPECT_STREQ(info["zipName"].GetString(), "Marlwood77301/game_2_10_3.zip");
  EXPECT_EQ(info["zipMd5"].GetString(), Digest(EVP_md5(), zip));
  EXPECT_EQ(info["zipSha256"].GetString(), Digest(EVP_sha256(), zip));
  ASSERT_TRUE(info["zipBytes"].IsInt64());
  EXPECT_EQ(info["zipBytes"].GetInt64(), static_cast<int64_t>(zip.size()));
  EXPECT_EQ(Strings(info["fileNameList"]),
            (std::vector<std::string>{"data/levels/level1.dat", "data/readme.txt", "runa3D.exe",
                                      Utf8(u8"资料/说明.txt")}));
}

// Where each entry's local header lies, as the launcher's extraction finds it.
std::map<uint64_t, std::string> LocalHeaders(const std::string& path) {
  std::unique_ptr<void, int (*)(unzFile)> archive(unzOpen64(path.c_str()), unzClose);
  std::map<uint64_t, std::string> headers;
  for (int at = unzGoToFirstFile(archive.get()); at == UNZ_OK; at = unzGoToNextFile(archive.get())) {
    unz_file_info64 info{};
    char name[600] = {};
    unzGetCurrentFileInfo64(archive.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0);
    unzOpenCurrentFile(archive.get());
    const uint64_t data = unzGetCurrentFileZStreamPos64(archive.get());
    headers[data - 30 - info.size_filename -
            static_cast<uint64_t>(unzGetLocalExtrafield(archive.get(), nullptr, 0))] = name;
    unzCloseCurrentFile(archive.get());
  }
  return headers;
}

uint32_t Le32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int k = 3; k >= 0; --k) value = value << 8 | static_cast<uint8_t>(bytes.at(at + k));
  return value;
}

// What a launcher fetching only changed entries checks them against: the directory's bytes and
// each entry's bytes from its local header to the next one (or the directory).
TEST_F(PackTest, FileInfoStatesTheDirectoryAndEachEntrysBytes) {
  MakeGame("game");
  // Bytes that do not deflate, more than one read of the package holds: entries then begin and
  // end inside the reads.
  std::string noise(3 << 20, '\0');
  uint32_t state = 7;
  for (char& c : noise) c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  WriteFile("game/data/big.bin", noise);
  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server"}).status, 0);
  const std::string path = kFolder + "/game_1_0_0.zip";
  const std::string zip = ReadFile(path);
  const rapidjson::Document info = Json(ReadFile(kFolder + "/fileInfo_1_0_0.json"));

  // The package carries no comment: its end record is its last 22 bytes.
  const size_t directoryBytes = Le32(zip, zip.size() - 22 + 12);
  const size_t directoryOffset = Le32(zip, zip.size() - 22 + 16);
  ASSERT_TRUE(info.HasMember("zipDirectorySha256"));
  EXPECT_EQ(info["zipDirectorySha256"].GetString(),
            Digest(EVP_sha256(), zip.substr(directoryOffset, directoryBytes)));

  const std::map<uint64_t, std::string> headers = LocalHeaders(path);
  ASSERT_TRUE(info.HasMember("zipEntrySha256"));
  const rapidjson::Value& entries = info["zipEntrySha256"];
  ASSERT_EQ(entries.MemberCount(), headers.size());
  for (auto it = headers.begin(); it != headers.end(); ++it) {
    SCOPED_TRACE(it->second);
    const uint64_t end = std::next(it) == headers.end() ? directoryOffset : std::next(it)->first;
    ASSERT_TRUE(entries.HasMember(it->second.c_str()));
    EXPECT_EQ(entries[it->second.c_str()].GetString(),
              Digest(EVP_sha256(), zip.substr(it->first, end - it->first)));
  }
}

TEST_F(PackTest, ConfigKeepsItsMembersAndGainsPatternsOnce) {
  MakeGame("game");
  WriteFile(kFolder + "/config.json",
            R"({"notice": "keep me", "lastVersion": "0.9.0", "unsupportedVersions": ["0.1.x"]})");

  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server", "--unsupported", "0.9.x", "0.1.x"}).status, 0);

  const rapidjson::Document config = Json(ReadFile(kFolder + "/config.json"));
  EXPECT_STREQ(config["notice"].GetString(), "keep me");
  EXPECT_STREQ(config["lastVersion"].GetString(), "1.0.0");
  EXPECT_EQ(Strings(config["unsupportedVersions"]), (std::vector<std::string>{"0.1.x", "0.9.x"}));
  // The launcher's reading: the first member of a name counts, so none may be doubled.
  EXPECT_EQ(config.MemberCount(), 4u);  // and "fileInfoSha256"
}

TEST_F(PackTest, SecondPackOfAVersionIsRefusedUnlessReplacing) {
  MakeGame("game");
  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server"}).status, 0);
  const std::string first = ReadFile(kFolder + "/game_1_0_0.zip");
  WriteFile("game/data/readme.txt", "changed");

  const publish_testing::ProgramRun again = Tool({"pack", "game", "1.0.0", "server"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("--replace"), std::string::npos) << again.output;
  EXPECT_TRUE(ReadFile(kFolder + "/game_1_0_0.zip") == first);

  EXPECT_EQ(Tool({"pack", "game", "1.0.0", "server", "--replace"}).status, 0);
  EXPECT_FALSE(ReadFile(kFolder + "/game_1_0_0.zip") == first);
  // Nothing half-written is left beside the published files.
  for (const auto& entry : fs::directory_iterator(kFolder)) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

TEST_F(PackTest, RefusesWhatLaunchersCouldNotUse) {
  MakeGame("game");
  struct Case {
    std::vector<std::string> arguments;
    std::string said;
  };
  const std::vector<Case> cases = {
      {{"pack", "game", "1.0", "server"}, "not three numbers"},
      {{"pack", "game", "1.0.0", "server", "--unsupported", "1.X.0"}, "matches no version"},
      {{"pack", "game", "1.0.0", "server", "--unsupported", "1.x.x"}, "itself unsupported"},
      {{"pack", "data-only", "1.0.0", "server"}, "holds no runa3D.exe"},
      {{"pack", "game", "1.0.0", "game/server"}, "lies inside the game folder"},
  };
  WriteFile("data-only/data.txt", "no program");
  for (const Case& c : cases) {
    const publish_testing::ProgramRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments[2] << " " << c.arguments.back();
    EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(kFolder + "/config.json"));
  EXPECT_FALSE(fs::exists("game/server"));
}

// One line that rewrites itself on a terminal (util-linux's script gives the tool one); nothing
// of it in a log.
TEST_F(PackTest, ProgressIsOneRewrittenLineOnATerminalOnly) {
  MakeGame("game");
  const std::string command = publish_testing::Quoted(TIDEWAKE_PUBLISH_PROGRAM) + " pack game 1.0.0 ";
  const publish_testing::ProgramRun terminal =
      publish_testing::RunProgram("script", {"-qec", command + "on-terminal", "/dev/null"});
  ASSERT_EQ(terminal.status, 0) << terminal.output;
  const size_t start = terminal.output.find("\rPacking Marlwood77301/game_1_0_0.zip");
  const size_t full = terminal.output.find("100% (", start);
  ASSERT_NE(start, std::string::npos) << terminal.output;
  ASSERT_NE(full, std::string::npos) << terminal.output;
  EXPECT_EQ(terminal.output.substr(start + 1, full - start).find('\n'), std::string::npos);

  const publish_testing::ProgramRun logged = Tool({"pack", "game", "1.0.0", "in-log"});
  ASSERT_EQ(logged.status, 0);
  EXPECT_EQ(logged.output.find("Packing"), std::string::npos) << logged.output;
  EXPECT_EQ(logged.output.find('\r'), std::string::npos) << logged.output;
}

// A program past 4 GiB (a sparse file: no disk is used) gets 64-bit sizes and keeps its origin
// and mode, which the launcher reads to make it executable; check reads the archive back clean.
TEST_F(PackTest, ProgramPastFourGibibytesKeepsItsSizeAndMode) {
  const uint64_t huge = (4ull << 30) + 100;
  fs::create_directories("game");
  { std::ofstream create("game/runa3D.exe"); }
  fs::resize_file("game/runa3D.exe", huge);
  fs::permissions("game/runa3D.exe", fs::perms(0755), fs::perm_options::replace);
  WriteFile("game/data/readme.txt", "read me");

  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server"}).status, 0);

  unzFile zip = unzOpen64((kFolder + "/game_1_0_0.zip").c_str());
  ASSERT_NE(zip, nullptr);
  unz_file_info64 info{};
  ASSERT_EQ(unzLocateFile(zip, "runa3D.exe", 1), UNZ_OK);
  ASSERT_EQ(unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
  unzClose(zip);
  EXPECT_EQ(info.uncompressed_size, huge);
  EXPECT_EQ(info.version >> 8, 3u);  // made on Unix: the mode below counts
  EXPECT_EQ((info.external_fa >> 16) & 07777, 0755u);

  const publish_testing::ProgramRun check = Tool({"check", "server"});
  EXPECT_EQ(check.status, 0) << check.output;
}

// Sizes are fixed in the local header before an entry's data is deflated: the entry must get
// Zip64's fields whenever zlib's own bound for its deflated form could pass 4 GiB - 1.
TEST(Zip64Choice, FollowsZlibsBoundAtTheThreshold) {
  z_stream stream{};
  ASSERT_EQ(deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                         Z_DEFAULT_STRATEGY),
            Z_OK);
  const auto bound = [&stream](uint64_t bytes) { return deflateBound(&stream, bytes); };
  // The smallest size whose bound reaches 0xFFFFFFFF.
  uint64_t low = 0;
  uint64_t high = 0xFFFFFFFFull;
  while (low < high) {
    const uint64_t middle = (low + high) / 2;
    if (bound(middle) >= 0xFFFFFFFFull) high = middle; else low = middle + 1;
  }
  for (uint64_t bytes = low - 64; bytes < low + 64; ++bytes) {
    EXPECT_TRUE(!(bound(bytes) >= 0xFFFFFFFFull) || EntryNeedsZip64(bytes)) << bytes;
  }
  EXPECT_TRUE(EntryNeedsZip64(0xFFFFFFFFull));
  EXPECT_TRUE(EntryNeedsZip64(6ull << 30));
  // Well below, the 32-bit fields do: older readers keep working for ordinary games.
  EXPECT_FALSE(EntryNeedsZip64(low - (1u << 20)));
  EXPECT_FALSE(EntryNeedsZip64(1ull << 31));
  deflateEnd(&stream);
}

}  // namespace

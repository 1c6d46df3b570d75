#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/publish/publish_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"

using publish_testing::Digest;
using publish_testing::kFolder;
using publish_testing::MakeGame;
using publish_testing::ProgramRun;
using publish_testing::Tool;
using publish_testing::Utf8;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

namespace fs = std::filesystem;

const std::string kConfig = kFolder + "/config.json";
const std::string kFileInfo = kFolder + "/fileInfo_1_0_0.json";
const std::string kPackage = kFolder + "/game_1_0_0.zip";

void EditJson(const std::string& path, const std::function<void(rapidjson::Document&)>& edit) {
  rapidjson::Document document;
  document.Parse(ReadFile(path).c_str());
  ASSERT_TRUE(document.IsObject());
  edit(document);
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  document.Accept(writer);
  WriteFile(path, buffer.GetString());
}

void SetString(rapidjson::Document& document, const char* name, const std::string& value) {
  document[name].SetString(value.c_str(), static_cast<rapidjson::SizeType>(value.size()),
                           document.GetAllocator());
}

// The fileInfo made to state the package as it now is, so that only the planted mistake is left
// (the parts' digests, which the check verifies only when present, left out).
void RestateDigests() {
  const std::string zip = ReadFile(kPackage);
  EditJson(kFileInfo, [&zip](rapidjson::Document& info) {
    info.RemoveMember("zipDirectorySha256");
    info.RemoveMember("zipEntrySha256");
    SetString(info, "zipMd5", Digest(EVP_md5(), zip));
    SetString(info, "zipSha256", Digest(EVP_sha256(), zip));
    info["zipBytes"].SetInt64(static_cast<int64_t>(zip.size()));
  });
}

std::vector<std::string> Problems(const std::string& output) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    const size_t end = output.find('\n', start);
    const std::string line = output.substr(start, end == std::string::npos ? end : end - start);
    if (line.rfind("problem: ", 0) == 0) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

class CheckTest : public InTempDir {
 protected:
  void SetUp() override {
    MakeGame("game");
    ASSERT_EQ(Tool({"keygen", "-p", "publisher.pub", "-s", "publisher.key", "-W"}).status, 0);
    ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server", "--unsupported", "0.x.x", "-s",
                    "publisher.key"})
                  .status,
              0);
  }
  static ProgramRun Check() { return Tool({"check", "server", "-p", "publisher.pub"}); }
};

TEST_F(CheckTest, FreshPackIsClean) {
  const ProgramRun run = Check();
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Problems(run.output).empty()) << run.output;
  EXPECT_EQ(Tool({"check", "server"}).status, 0);
}

struct Mistake {
  std::string what;
  std::function<void()> plant;
  std::vector<std::string> resign;  // documents signed again after the mistake was planted
  std::string reported;
  bool keyed = true;  // checked with the public key
};

// The published package with one more entry of that name: only the name may be reported.
void PackageWithEntry(const std::string& name) {
  ZipBuilder()
      .AddExecutable("runa3D.exe", ReadFile("game/runa3D.exe"))
      .AddFile("data/levels/level1.dat", ReadFile("game/data/levels/level1.dat"))
      .AddFile("data/readme.txt", ReadFile("game/data/readme.txt"))
      .AddFile(Utf8(u8"资料/说明.txt"), ReadFile("game/" + Utf8(u8"资料/说明.txt")))
      .AddFile(name, "x")
      .WriteTo(kPackage);
  RestateDigests();
}

Mistake WindowsName(const std::string& name, const std::string& reported) {
  return {name, [name] { PackageWithEntry(name); }, {kFileInfo}, reported};
}

TEST_F(CheckTest, FindsEachPlantedMistakeAndNothingElse) {
  const std::vector<Mistake> mistakes = {
      {"broken JSON", [] { WriteFile(kConfig, R"({"lastVersion": "1.0.0",)"); }, {kConfig},
       "Marlwood77301/config.json: not a JSON object"},
      {"missing member",
       [] { EditJson(kFileInfo, [](rapidjson::Document& info) { info.RemoveMember("zipMd5"); }); },
       {kFileInfo}, "\"zipMd5\" is missing"},
      {"pattern matching nothing",
       [] {
         EditJson(kConfig, [](rapidjson::Document& config) {
           config["unsupportedVersions"][0].SetString("0.X.x");
         });
       },
       {kConfig}, "pattern \"0.X.x\" matches no version"},
      {"wrong MD5",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           SetString(info, "zipMd5", "0123456789abcdef0123456789abcdef");
         });
       },
       {kFileInfo}, "but Marlwood77301/fileInfo_1_0_0.json says 0123456789abcdef0123456789abcdef"},
      {"wrong size",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info["zipBytes"].SetInt64(info["zipBytes"].GetInt64() + 1);
         });
       },
       {kFileInfo}, "bytes, but Marlwood77301/fileInfo_1_0_0.json says"},
      {"refused entry name",
       [] {
         ZipBuilder()
             .AddExecutable("runa3D.exe", ReadFile("game/runa3D.exe"))
             .AddFile("data/levels/level1.dat", ReadFile("game/data/levels/level1.dat"))
             .AddFile("data/readme.txt", ReadFile("game/data/readme.txt"))
             .AddFile(Utf8(u8"资料/说明.txt"), ReadFile("game/" + Utf8(u8"资料/说明.txt")))
             .AddFile("../evil.txt", "outside")
             .WriteTo(kPackage);
         RestateDigests();
       },
       {kFileInfo}, "entry \"../evil.txt\": leads outside the install folder"},
      {"package without the game",
       [] {
         ZipBuilder()
             .AddFile("data/levels/level1.dat", ReadFile("game/data/levels/level1.dat"))
             .AddFile("data/readme.txt", ReadFile("game/data/readme.txt"))
             .AddFile(Utf8(u8"资料/说明.txt"), ReadFile("game/" + Utf8(u8"资料/说明.txt")))
             .WriteTo(kPackage);
         RestateDigests();
         // Not listed either ("runa3D.exe" is the third name), so only the package is wrong.
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info["fileNameList"].Erase(info["fileNameList"].Begin() + 2);
         });
       },
       {kFileInfo}, "game_1_0_0.zip: holds no runa3D.exe"},
      {"package beside the launcher",
       [] {
         fs::copy_file(kPackage, "server/keepme.dll");
         EditJson(kFileInfo, [](rapidjson::Document& info) { SetString(info, "zipName", "keepme.dll"); });
       },
       {kFileInfo}, "\"zipName\" keepme.dll is not a file inside Marlwood77301"},
      {"listed but not in the package",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info["fileNameList"].PushBack("data/missing.dat", info.GetAllocator());
         });
       },
       {kFileInfo}, "listed \"data/missing.dat\" is not in"},
      {"wrong directory digest",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           SetString(info, "zipDirectorySha256", std::string(64, '0'));
         });
       },
       {kFileInfo}, "game_1_0_0.zip: central directory SHA-256 "},
      {"wrong entry digest",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info["zipEntrySha256"]["data/readme.txt"].SetString(
               std::string(64, 'a').c_str(), 64, info.GetAllocator());
         });
       },
       {kFileInfo}, "game_1_0_0.zip: entry \"data/readme.txt\" SHA-256 "},
      {"entry digest not hex",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info["zipEntrySha256"]["data/readme.txt"].SetString("ABC");
         });
       },
       {kFileInfo}, "\"zipEntrySha256\" of \"data/readme.txt\" is not 64 lower-case hex digits"},
      {"entry without a digest",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info["zipEntrySha256"].RemoveMember("runa3D.exe");
         });
       },
       {kFileInfo}, "\"zipEntrySha256\" has no digest for entry \"runa3D.exe\""},
      {"digest of no entry",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           auto& allocator = info.GetAllocator();
           rapidjson::Value digest(std::string(64, 'b').c_str(), allocator);
           info["zipEntrySha256"].AddMember("data/gone.txt", digest, allocator);
         });
       },
       {kFileInfo}, "\"zipEntrySha256\" names \"data/gone.txt\""},
      {"missing signature", [] { fs::remove(kFileInfo + ".minisig"); }, {},
       "fileInfo_1_0_0.json.minisig: missing"},
      {"document changed after signing", [] { WriteFile(kConfig, ReadFile(kConfig) + " "); }, {},
       "config.json: signature does not verify"},
      {"signed by another key",
       [] {
         ASSERT_EQ(Tool({"keygen", "-p", "other.pub", "-s", "other.key", "-W"}).status, 0);
         ASSERT_EQ(Tool({"sign", "-s", "other.key", kFileInfo}).status, 0);
       },
       {}, "fileInfo_1_0_0.json: signature does not verify"},
      {"fileInfo missing", [] { fs::remove(kFileInfo); }, {},
       "fileInfo_1_0_0.json: missing (named by \"lastVersion\" 1.0.0)"},
      {"package missing", [] { fs::remove(kPackage); }, {},
       "Marlwood77301/game_1_0_0.zip: missing"},
      {"signature made for another name",
       [] {
         fs::copy_file(kConfig, kConfig + ".new");
         ASSERT_EQ(Tool({"sign", "-s", "publisher.key", kConfig + ".new"}).status, 0);
         fs::rename(kConfig + ".new.minisig", kConfig + ".minisig");
         fs::remove(kConfig + ".new");
       },
       {}, "config.json: the signature is for config.json.new"},
      {"timestamp in the future",
       [] {
         ASSERT_EQ(publish_testing::SignWithComment(
                       "publisher.key", kConfig,
                       "timestamp:" + std::to_string(publish_testing::NowSeconds() + 86400) +
                           "\tfile:config.json\thashed")
                       .status,
                   0);
       },
       {}, "config.json.minisig: signed in the future"},
      {"stray temporary file", [] { WriteFile(kFolder + "/.game_1_0_1.zip.partial", "half"); }, {},
       ".game_1_0_1.zip.partial: a temporary file"},
      {"unsigned document beside signed ones", [] { fs::remove(kFileInfo + ".minisig"); }, {},
       "fileInfo_1_0_0.json: unsigned", false},
      {"newer fileInfo than lastVersion",
       [] { fs::copy_file(kFileInfo, kFolder + "/fileInfo_1_2_0.json"); }, {},
       "\"lastVersion\" 1.0.0 is older than fileInfo_1_2_0.json"},
      {"fileInfo other than the config names",
       [] {
         EditJson(kFileInfo, [](rapidjson::Document& info) {
           info.AddMember("note", "packed again", info.GetAllocator());
         });
         ASSERT_EQ(Tool({"sign", "-s", "publisher.key", kFileInfo}).status, 0);
       },
       {}, "fileInfo_1_0_0.json: not the document Marlwood77301/config.json names"},
      WindowsName("CON", "Windows"),
      WindowsName("data/a:b", "Windows"),
      WindowsName("q?.txt", "Windows"),
      WindowsName("trailing.", "Windows"),
      WindowsName("bell\a.txt", "Windows"),
      WindowsName("data/README.txt", "are one file on Windows"),
  };
  fs::copy("server", "published", fs::copy_options::recursive);
  for (const Mistake& mistake : mistakes) {
    SCOPED_TRACE(mistake.what);
    fs::remove_all("server");
    fs::copy("published", "server", fs::copy_options::recursive);
    mistake.plant();
    const auto& resign = mistake.resign;
    if (std::find(resign.begin(), resign.end(), kFileInfo) != resign.end()) {
      // The config names the fileInfo it points to: a fileInfo changed on purpose is named anew.
      EditJson(kConfig, [](rapidjson::Document& config) {
        SetString(config, "fileInfoSha256", Digest(EVP_sha256(), ReadFile(kFileInfo)));
      });
      ASSERT_EQ(Tool({"sign", "-s", "publisher.key", kConfig}).status, 0);
    }
    for (const std::string& document : mistake.resign) {
      ASSERT_EQ(Tool({"sign", "-s", "publisher.key", document}).status, 0);
    }

    const ProgramRun run = mistake.keyed ? Check() : Tool({"check", "server"});

    EXPECT_EQ(run.status, 1) << run.output;
    const std::vector<std::string> problems = Problems(run.output);
    EXPECT_EQ(problems.size(), 1u) << run.output;
    if (problems.size() != 1) continue;
    EXPECT_NE(problems[0].find(mistake.reported), std::string::npos) << run.output;
  }
}

}  // namespace

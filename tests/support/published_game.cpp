#include "tests/support/published_game.h"

#include <cstdio>

#include "platform/md5.h"
#include "platform/sha256.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zip_builder.h"
#include "core/strings.h"

namespace testing_support {

int LauncherTestPort() { return TIDEWAKE_TEST_PORT; }

std::string ServerPath(const std::string& relative) { return "/PCDownload/sq1/" + relative; }

namespace {

template <class Hash>
std::string HexDigest(const std::string& bytes) {
  Hash hash;
  std::string failure;
  typename Hash::Digest digest{};
  hash.Begin(&failure);
  hash.Update(bytes.data(), bytes.size(), &failure);
  hash.Finish(&digest, &failure);
  std::string hex;
  char two[3];
  for (uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

}  // namespace

std::string Md5Hex(const std::string& bytes) { return HexDigest<platform::Md5>(bytes); }

std::string Sha256Hex(const std::string& bytes) { return HexDigest<platform::Sha256>(bytes); }

GamePackage MakeGamePackage(const std::string& version, size_t extraBytes, size_t entryBytes,
                            const std::string& game,
                            const std::vector<std::pair<std::string, std::string>>& moreFiles) {
  GamePackage package;
  package.version = version;
  const std::string underscored = ReplaceAll(version, ".", "_");
  package.zipName = "Marlwood77301/game_" + underscored + ".zip";

  ZipBuilder builder;
  builder.AddExecutable("runa3D.exe", ReadFile(game));
  builder.AddDirectory("data/");
  builder.AddFile("data/readme.txt", "sample game " + version + "\n");
  std::string fileList = R"(["runa3D.exe","data/readme.txt")";
  for (size_t i = 0, left = extraBytes; left > 0; ++i) {
    const size_t size = left < entryBytes ? left : entryBytes;
    const std::string name = "data/filler" + std::to_string(i) + ".bin";
    builder.AddFile(name, IncompressibleBytes(size, static_cast<unsigned>(i + 1)), ZipMethod::Stored);
    fileList += ",\"" + name + "\"";
    left -= size;
  }
  for (const auto& [name, contents] : moreFiles) {
    builder.AddFile(name, contents);
    fileList += ",\"" + name + "\"";
  }
  fileList += "]";
  TempDir scratch;
  const std::string path = scratch.path() + "/package.zip";
  builder.WriteTo(path);
  package.bytes = ReadFile(path);
  package.md5 = Md5Hex(package.bytes);
  package.fileInfo = R"({"zipName":")" + package.zipName + R"(","zipMd5":")" + package.md5 +
                     R"(","zipBytes":)" + std::to_string(package.bytes.size()) +
                     R"(,"fileNameList":)" + fileList + "}";
  return package;
}

void Publish(HttpsTestServer& server, const GamePackage& package) {
  server.Serve(ServerPath("Marlwood77301/config.json"),
               R"({"lastVersion":")" + package.version + R"(","unsupportedVersions":[]})");
  server.Serve(ServerPath("Marlwood77301/fileInfo_" + ReplaceAll(package.version, ".", "_") + ".json"),
               package.fileInfo);
  server.Serve(ServerPath(package.zipName), package.bytes);
}

}  // namespace testing_support

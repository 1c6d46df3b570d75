// A release as a set: what a failed or interrupted pack leaves, which versions and times may
// follow which, and the tool's own refusals.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unzip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/publish/publish_fixture.h"
#include "tests/support/temp_dir.h"
#include "update/minisign.h"

using publish_testing::Digest;
using publish_testing::kFolder;
using publish_testing::MakeGame;
using publish_testing::ProgramRun;
using publish_testing::Tool;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

const std::string kConfig = kFolder + "/config.json";

std::string JsonString(const std::string& path, const char* member) {
  rapidjson::Document document;
  document.Parse(ReadFile(path).c_str());
  return document.IsObject() && document.HasMember(member) ? document[member].GetString() : "";
}

int64_t SignedAt(const std::string& document) {
  std::string error;
  const auto signature = minisign::ParseSignature(ReadFile(document + ".minisig"), &error);
  return signature ? minisign::TrustedTimestamp(signature->trustedComment).value_or(0) : 0;
}

class ReleaseTest : public InTempDir {
 protected:
  void SetUp() override {
    MakeGame("game");
    ASSERT_EQ(Tool({"keygen", "-p", "publisher.pub", "-s", "publisher.key", "-W"}).status, 0);
  }
  static ProgramRun Pack(const std::string& version, std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"pack", "game", version, "server", "-s", "publisher.key"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Tool(arguments);
  }
};

TEST_F(ReleaseTest, FailedPackLeavesTheFolderAsItWasAndARerunWorks) {
  ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server"}).status, 0);
  // The last rename of the set fails: a folder stands where the config's signature goes.
  WriteFile(kConfig + ".minisig/held", "");
  const auto before = publish_testing::Snapshot("server");

  const ProgramRun failed = Pack("1.0.1");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.output.find("config.json.minisig"), std::string::npos) << failed.output;
  EXPECT_EQ(publish_testing::Snapshot("server"), before);

  fs::remove_all(kConfig + ".minisig");
  const ProgramRun rerun = Pack("1.0.1");
  EXPECT_EQ(rerun.status, 0) << rerun.output;
  EXPECT_EQ(JsonString(kConfig, "lastVersion"), "1.0.1");
}

TEST_F(ReleaseTest, InterruptedPackRemovesWhatItMade) {
  ASSERT_EQ(Pack("1.0.0").status, 0);
  std::string noise(48 << 20, '\0');  // long enough to be caught mid-package
  std::ifstream("/dev/urandom", std::ios::binary)
      .read(noise.data(), static_cast<std::streamsize>(noise.size()));
  WriteFile("game/data/big.pak", noise);
  const auto before = publish_testing::Snapshot("server");
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const pid_t child = fork();
    if (child == 0) {
      freopen("/dev/null", "w", stdout);
      execl(publish_testing::ToolProgram().c_str(), "tidewake-publish", "pack", "game", "1.0.1",
            "server", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Interrupted once the package is being written.
    const std::string partial = kFolder + "/.game_1_0_1.zip.partial";
    while (!fs::exists(partial)) std::this_thread::yield();
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    EXPECT_EQ(publish_testing::Snapshot("server"), before);
  }
}

TEST_F(ReleaseTest, LastVersionMovesBackOnlyWhenRollingBack) {
  ASSERT_EQ(Pack("1.0.0").status, 0);
  ASSERT_EQ(Pack("1.0.1", {"--unsupported", "1.0.0"}).status, 0);
  struct Case {
    std::string version;
    std::vector<std::string> more;
    std::string said;
  };
  const std::vector<Case> refused = {
      {"0.9.0", {}, "older than lastVersion 1.0.1"},
      {"1.0.0", {"--replace"}, "unsupportedVersions"},
  };
  for (const Case& c : refused) {
    const ProgramRun run = Pack(c.version, c.more);
    EXPECT_EQ(run.status, 1) << c.version;
    EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
    EXPECT_EQ(JsonString(kConfig, "lastVersion"), "1.0.1");
  }
  const ProgramRun rollback = Pack("0.9.0", {"--rollback"});
  EXPECT_EQ(rollback.status, 0) << rollback.output;
  EXPECT_NE(rollback.output.find("players on 1.0.1 are sent back to 0.9.0"), std::string::npos)
      << rollback.output;
  EXPECT_EQ(JsonString(kConfig, "lastVersion"), "0.9.0");
}

TEST_F(ReleaseTest, SignaturesFollowTheNewestTimeAndTheConfigNamesItsFileInfo) {
  ASSERT_EQ(Pack("1.0.0").status, 0);
  const int64_t ahead = publish_testing::NowSeconds() + 3600;
  ASSERT_EQ(publish_testing::SignWithComment(
                "publisher.key", kConfig,
                "timestamp:" + std::to_string(ahead) + "\tfile:config.json\thashed")
                .status,
            0);

  ASSERT_EQ(Pack("1.0.1").status, 0);

  EXPECT_GE(SignedAt(kConfig), ahead + 1);
  EXPECT_GE(SignedAt(kFolder + "/fileInfo_1_0_1.json"), ahead + 1);
  EXPECT_EQ(JsonString(kConfig, "fileInfoSha256"),
            Digest(EVP_sha256(), ReadFile(kFolder + "/fileInfo_1_0_1.json")));
}

TEST_F(ReleaseTest, RefusesNamesWindowsCannotHold) {
  for (const std::string name :
       {"CON", "lpt1.txt", "data/a:b", "q?.txt", "dot.", "space ", "tab\t", "data/README.txt"}) {
    SCOPED_TRACE(name);
    WriteFile("game/" + name, "x");
    const ProgramRun run = Pack("1.0.0");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(name), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Windows"), std::string::npos) << run.output;
    fs::remove("game/" + name);
  }
  EXPECT_FALSE(fs::exists(kConfig));
}

TEST_F(ReleaseTest, SmallRefusalsAndReports) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string said;
  };
  const std::vector<Case> cases = {
      {{"keygen", "-p", "same", "-s", "same", "-W"}, 2, "one file"},
      {{"pack", "game", "01.0.2", "server"}, 1, "01.0.2"},
      {{"pack", "game", "99999999999999999999.0.0", "server"}, 1, "99999999999999999999.0.0"},
      {{"pack", "--help"}, 0, "tidewake-publish pack"},
      {{"check", "-h"}, 0, "tidewake-publish check"},
      {{"--help"}, 0, "tidewake-publish keygen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
    const ProgramRun run = Tool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
    // Refusals are diagnostics: nothing of them on standard output.
    if (c.status != 0) {
      EXPECT_EQ(run.results, "");
    }
  }
  EXPECT_FALSE(fs::exists("same"));

  // One file, deflate cannot shrink it: stored; the key id said.
  fs::remove_all("game");
  std::string noise(100000, '\0');
  std::ifstream("/dev/urandom", std::ios::binary)
      .read(noise.data(), static_cast<std::streamsize>(noise.size()));
  WriteFile("game/runa3D.exe", noise);
  const ProgramRun packed = Pack("1.0.0");
  ASSERT_EQ(packed.status, 0) << packed.output;
  EXPECT_NE(packed.results.find("1 file)"), std::string::npos) << packed.results;
  EXPECT_NE(packed.results.find("key "), std::string::npos) << packed.results;
  unzFile zip = unzOpen64((kFolder + "/game_1_0_0.zip").c_str());
  ASSERT_NE(zip, nullptr);
  unz_file_info64 info{};
  ASSERT_EQ(unzGoToFirstFile(zip), UNZ_OK);
  ASSERT_EQ(unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
  EXPECT_EQ(info.compression_method, 0u);
  EXPECT_EQ(info.compressed_size, 100000u);
  unzClose(zip);
}

}  // namespace

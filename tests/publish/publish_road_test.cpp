// What tidewake-publish writes, served as it lies in the server folder, installed and started by
// the launcher itself.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/publish/publish_fixture.h"
#include "tests/support/launcher_road_fixture.h"

using namespace testing_support;
using publish_testing::Tool;
using publish_testing::Utf8;

namespace {

namespace fs = std::filesystem;

class PublishRoadTest : public LauncherRoadFixture {
 public:
  void SetUp() override { StartOn(Platform::Linux); }
  using LauncherRoadFixture::GameReceived;
  using LauncherRoadFixture::Received;
  using LauncherRoadFixture::Run;
  using LauncherRoadFixture::server_;

  // Every file of the server folder at its path below the base URL.
  void Serve() {
    for (const auto& entry : fs::recursive_directory_iterator("server")) {
      if (!entry.is_regular_file()) continue;
      server_.Serve(ServerPath(entry.path().lexically_relative("server").generic_string()),
                    ReadFile(entry.path().string()));
    }
  }
};

// Packs the sample game as version 2.0.1 (signed when a secret key is given), serves the folder
// and has the launcher install and start it, then start it again without a download.
void PackServeAndPlay(PublishRoadTest& test, const std::vector<std::string>& signing) {
  fs::create_directories("game");
  fs::copy_file(TIDEWAKE_SAMPLE_GAME, "game/runa3D.exe");
  fs::permissions("game/runa3D.exe", fs::perms(0755), fs::perm_options::replace);
  WriteFile("game/data/readme.txt", "sample game 2.0.1\n");
  WriteFile("game/" + Utf8(u8"资料/说明.txt"), Utf8(u8"示例游戏\n"));
  std::vector<std::string> pack = {"pack", "game", "2.0.1", "server", "--unsupported", "1.x.x"};
  pack.insert(pack.end(), signing.begin(), signing.end());
  ASSERT_EQ(Tool(pack).status, 0);
  test.Serve();

  const LauncherOutcome outcome = test.Run({"from", "publisher"});

  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(test.GameReceived(), test.Received({"from", "publisher"})) << outcome.out << outcome.err;
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 2.0.1\n");
  EXPECT_EQ(ReadFile("Kelpstone/" + Utf8(u8"资料/说明.txt")), Utf8(u8"示例游戏\n"));
  EXPECT_EQ(test.server_.RequestCount(ServerPath("Marlwood77301/game_2_0_1.zip")), 1);

  // Started again: the record and the files match the fileInfo, nothing is downloaded.
  fs::remove("Kelpstone/game_received.txt");
  const LauncherOutcome again = test.Run({});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(test.GameReceived(), test.Received({}));
  EXPECT_EQ(test.server_.RequestCount(ServerPath("Marlwood77301/game_2_0_1.zip")), 1);
}

TEST_F(PublishRoadTest, LauncherInstallsAndStartsWhatWasPacked) { PackServeAndPlay(*this, {}); }

// The launcher of a signed release accepts the documents pack signed with the publisher's key
// (made by minisign, as a publisher who already signs with it has one).
TEST_F(PublishRoadTest, SignedLauncherInstallsWhatPackSigned) {
  ASSERT_TRUE(UseSignedLauncher());
  PackServeAndPlay(*this, {"-s", TIDEWAKE_TEST_SIGNING_SECRET_KEY});
  EXPECT_EQ(server_.RequestCount(ServerPath("Marlwood77301/config.json.minisig")), 2);
}

}  // namespace

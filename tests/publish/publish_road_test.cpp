// What tidewake-publish writes, served as it lies in the server folder, installed and started by
// the launcher itself.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/publish/publish_fixture.h"
#include "tests/support/launcher_road_fixture.h"

using namespace testing_support;
using publish_testing::Tool;
using publish_testing::Utf8;

namespace {

namespace fs = std::filesystem;

class PublishRoadTest : public LauncherRoadFixture {
 protected:
  void SetUp() override { StartOn(Platform::Linux); }

  // Every file of the server folder at its path below the base URL.
  void Serve() {
    for (const auto& entry : fs::recursive_directory_iterator("server")) {
      if (!entry.is_regular_file()) continue;
      server_.Serve(ServerPath(entry.path().lexically_relative("server").generic_string()),
                    ReadFile(entry.path().string()));
    }
  }
};

TEST_F(PublishRoadTest, LauncherInstallsAndStartsWhatWasPacked) {
  fs::create_directories("game");
  fs::copy_file(TIDEWAKE_SAMPLE_GAME, "game/runa3D.exe");
  fs::permissions("game/runa3D.exe", fs::perms(0755), fs::perm_options::replace);
  WriteFile("game/data/readme.txt", "sample game 2.0.1\n");
  WriteFile("game/" + Utf8(u8"资料/说明.txt"), Utf8(u8"示例游戏\n"));
  ASSERT_EQ(Tool({"pack", "game", "2.0.1", "server", "--unsupported", "1.x.x"}).status, 0);
  Serve();

  const LauncherOutcome outcome = Run({"from", "publisher"});

  ASSERT_TRUE(outcome.exited) << outcome.err;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({"from", "publisher"}));
  EXPECT_EQ(ReadFile("Kelpstone/data/readme.txt"), "sample game 2.0.1\n");
  EXPECT_EQ(ReadFile("Kelpstone/" + Utf8(u8"资料/说明.txt")), Utf8(u8"示例游戏\n"));
  EXPECT_EQ(server_.RequestCount(ServerPath("Marlwood77301/game_2_0_1.zip")), 1);

  // Started again: the record and the files match the fileInfo, nothing is downloaded.
  fs::remove("Kelpstone/game_received.txt");
  const LauncherOutcome again = Run({});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(GameReceived(), Received({}));
  EXPECT_EQ(server_.RequestCount(ServerPath("Marlwood77301/game_2_0_1.zip")), 1);
}

}  // namespace

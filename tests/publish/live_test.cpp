// What players are served: check --url against a loopback HTTPS server, and upload through
// rclone to a WebDAV server rclone itself serves on loopback.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/publish/publish_fixture.h"
#include "tests/support/https_test_server.h"
#include "tests/support/temp_dir.h"

using publish_testing::kFolder;
using publish_testing::MakeGame;
using publish_testing::ProgramRun;
using publish_testing::Tool;
using testing_support::HttpsTestServer;
using testing_support::InTempDir;
using testing_support::ReadFile;
using testing_support::Reply;

namespace {

namespace fs = std::filesystem;

const std::string kRemote = "/PCDownload/sq1/Marlwood77301/";

class LiveTest : public InTempDir {
 protected:
  void SetUp() override {
    MakeGame("game");
    ASSERT_EQ(Tool({"keygen", "-p", "publisher.pub", "-s", "publisher.key", "-W"}).status, 0);
    ASSERT_EQ(Tool({"pack", "game", "1.0.0", "server", "-s", "publisher.key"}).status, 0);
  }
  // Every file of the packed folder, served as a static server would.
  void ServeFolder(HttpsTestServer& server) {
    for (const auto& entry : fs::directory_iterator(kFolder)) {
      server.Serve(kRemote + entry.path().filename().string(), ReadFile(entry.path().string()));
    }
  }
  ProgramRun CheckUrl(const HttpsTestServer& server) {
    return Tool({"check", "--url", server.Url("/PCDownload/sq1/"), "-p", "publisher.pub",
                 "--ca-bundle", TIDEWAKE_TEST_CA_BUNDLE});
  }
};

struct Serving {
  const char* what;
  std::function<void(HttpsTestServer&)> twist;  // after the folder is served as packed
  std::string reported;                         // empty: clean
};

TEST_F(LiveTest, CheckUrlReportsWhatPlayersMeet) {
  const std::string zip = ReadFile(kFolder + "/game_1_0_0.zip");
  const std::string config = ReadFile(kFolder + "/config.json");
  const std::vector<Serving> cases = {
      {"as packed", [](HttpsTestServer&) {}, ""},
      {"ranges ignored",
       [&zip](HttpsTestServer& server) {
         server.Serve(kRemote + "game_1_0_0.zip", Reply::Body(zip).IgnoringRange());
       },
       "with 200 and the whole package: players' updates fall back to full downloads"},
      {"wrong length",
       [&zip](HttpsTestServer& server) {
         server.Serve(kRemote + "game_1_0_0.zip", zip.substr(0, zip.size() - 1));
       },
       "game_1_0_0.zip: served with " + std::to_string(zip.size() - 1) + " bytes"},
      {"stale copy without the query",
       [&config](HttpsTestServer& server) {
         server.Handle(kRemote + "config.json", [&config](const httplib::Request& request,
                                                          httplib::Response& response) {
           response.set_content(request.has_param("rand") ? config : config + " ", "text/plain");
         });
       },
       "config.json: without ?rand= the server sends other bytes"},
      {"config not signed by the key",
       [&config](HttpsTestServer& server) { server.Serve(kRemote + "config.json", config + " "); },
       "config.json: launchers with the key refuse it"},
  };
  for (const Serving& serving : cases) {
    SCOPED_TRACE(serving.what);
    HttpsTestServer server;
    ServeFolder(server);
    serving.twist(server);

    const ProgramRun run = CheckUrl(server);

    EXPECT_EQ(run.status, serving.reported.empty() ? 0 : 1) << run.output;
    if (!serving.reported.empty()) {
      EXPECT_NE(run.results.find(serving.reported), std::string::npos) << run.output;
    }
  }
}

TEST_F(LiveTest, UploadSendsACleanFolderToWebDavAndRefusesAnUncleanOne) {
  fs::create_directories("remote");
  const pid_t server = fork();
  if (server == 0) {
    freopen("webdav.log", "w", stderr);
    execlp("rclone", "rclone", "serve", "webdav", "remote", "--addr", "127.0.0.1:0",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  // rclone names the port it took once it listens.
  const std::string started = "Server started on http://";
  std::string log;
  while ((log = ReadFile("webdav.log")).find(started) == std::string::npos) {
    std::this_thread::yield();
  }
  const size_t at = log.find(started) + started.size();
  const std::string destination =
      ":webdav,url='http://" + log.substr(at, log.find('/', at) - at) + "/':";

  const ProgramRun sent = Tool({"upload", "server", destination, "-p", "publisher.pub"});
  EXPECT_EQ(sent.status, 0) << sent.output;
  EXPECT_EQ(publish_testing::Snapshot("remote"), publish_testing::Snapshot("server"));

  testing_support::WriteFile(kFolder + "/.game_0_9_9.zip.partial", "half");
  ASSERT_EQ(Tool({"pack", "game", "1.0.1", "server", "-s", "publisher.key"}).status, 0);
  const ProgramRun refused = Tool({"upload", "server", destination, "-p", "publisher.pub"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find(".game_0_9_9.zip.partial: a temporary file"), std::string::npos)
      << refused.output;
  EXPECT_FALSE(fs::exists("remote/Marlwood77301/game_1_0_1.zip"));

  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
}

}  // namespace

// Transfers through the proxy of the user's settings: the loopback CONNECT proxy relays the
// TLS connection to the loopback HTTPS server, or the transfer goes around it. The environment
// names a proxy nobody listens on: the user's settings, where they name a proxy, come first.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/http_util.h"
#include "net/proxy_choice.h"
#include "tests/support/connect_proxy.h"
#include "tests/support/https_test_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/transfer_recorder.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ConnectProxy;
using testing_support::HttpsTestServer;
using testing_support::TransferRecorder;

struct RouteCase {
  const char* name;
  const char* proxy;  // "{proxy}" stands for the loopback proxy's address
  const char* bypass;
  bool throughProxy;
};

std::string Filled(std::string text, const std::string& address) {
  const size_t mark = text.find("{proxy}");
  if (mark != std::string::npos) text.replace(mark, 7, address);
  return text;
}

class ProxyRoute : public ::testing::TestWithParam<RouteCase> {
 protected:
  void SetUp() override {
    const RouteCase& c = GetParam();
    const platform::ProxySettings settings{Filled(c.proxy, proxy.Address()), c.bypass};
    SetProxySettingsSource([settings] { return settings; });
    setenv("https_proxy", "http://127.0.0.1:1", 1);
    server.Serve("/config.json", R"({"lastVersion":"1.0.2"})");
    server.Serve("/game.zip", std::string(300000, 'z'));
  }
  void TearDown() override {
    unsetenv("https_proxy");
    SetProxySettingsSource({});
  }

  std::vector<std::string> ExpectedTunnels(size_t transfers) const {
    if (!GetParam().throughProxy) return {};
    return std::vector<std::string>(transfers, "localhost:" + std::to_string(server.port()));
  }

  ConnectProxy proxy;
  HttpsTestServer server;
  TransferRecorder recorder;
};

TEST_P(ProxyRoute, RequestTakesTheRouteOfTheSettings) {
  testing::internal::CaptureStdout();
  HttpUtil::Request(server.Url("/config.json?rand=7"), "", recorder.Callback(), "GET", 5);
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(recorder.Final().event, "succ") << recorder.Final().message;
  EXPECT_EQ(recorder.Final().message, R"({"lastVersion":"1.0.2"})");
  EXPECT_EQ(proxy.Tunnels(), ExpectedTunnels(1));
  EXPECT_EQ(server.RequestCount("/config.json"), 1);
}

TEST_P(ProxyRoute, DownloadTakesTheRouteOfTheSettings) {
  testing_support::TempDir folder;
  DownloadTask task;
  task.localPath = folder.path() + "/game.zip";
  task.callback = recorder.Callback();
  task.url = server.Url("/game.zip");
  testing::internal::CaptureStdout();
  HttpUtil::DownloadPackage(task);
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(recorder.Final().event, "succ") << recorder.Final().message;
  EXPECT_EQ(testing_support::ReadFile(task.localPath), std::string(300000, 'z'));
  EXPECT_EQ(proxy.Tunnels(), ExpectedTunnels(1));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ProxyRoute,
    ::testing::Values(
        RouteCase{"OneProxyForAll", "{proxy}", "", true},
        // The http= entry names a port nobody listens on: only the https= one may be taken.
        RouteCase{"HttpsEntry", "http=127.0.0.1:1;https={proxy}", "", true},
        RouteCase{"BypassedByName", "{proxy}", "*.example.com;localhost", false},
        RouteCase{"BypassedAsLocal", "{proxy}", "<local>", false},
        RouteCase{"OtherHostsBypassed", "{proxy}", "*.example.com;<-loopback>", true},
        RouteCase{"NoEntryForHttps", "http={proxy}", "", false}),
    [](const ::testing::TestParamInfo<RouteCase>& info) { return info.param.name; });

}  // namespace

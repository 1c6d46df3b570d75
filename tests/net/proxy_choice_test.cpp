// The system's proxy notation turned into libcurl's: which proxy a transfer takes, and which
// hosts go around it.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "net/proxy_choice.h"

namespace {

struct ProxyCase {
  const char* proxy;
  const char* url;
  const char* expected;  // nullptr: libcurl's defaults are left alone
};

class ChooseProxyTest : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ChooseProxyTest, TakesTheEntryTheSystemWould) {
  const ProxyCase& c = GetParam();
  const std::optional<CurlProxy> chosen = ChooseProxy({c.proxy, ""}, c.url);
  if (c.expected == nullptr) {
    EXPECT_FALSE(chosen.has_value()) << chosen->proxy;
  } else {
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->proxy, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ChooseProxyTest,
    ::testing::Values(
        ProxyCase{"", "https://cdn.example.com/a", nullptr},
        ProxyCase{" ; ", "https://cdn.example.com/a", nullptr},
        ProxyCase{"proxy.corp:8080", "https://cdn.example.com/a", "http://proxy.corp:8080"},
        // The system's HTTP proxy port when none is written; libcurl's would be 1080.
        ProxyCase{"proxy.corp", "https://cdn.example.com/a", "http://proxy.corp:80"},
        ProxyCase{"http://proxy.corp:3128/", "https://cdn.example.com/a", "http://proxy.corp:3128"},
        ProxyCase{"http=a:1;https=b:2", "https://cdn.example.com/a", "http://b:2"},
        ProxyCase{"http=a:1;https=b:2", "http://cdn.example.com/a", "http://a:1"},
        ProxyCase{"HTTPS=b:2 http=a:1", "https://cdn.example.com/a", "http://b:2"},
        ProxyCase{"http=a:1;https=http://b:2", "https://x.example/a", "http://b:2"},
        // No entry of its own: the plain one, then SOCKS, else direct (an empty proxy).
        ProxyCase{"http=a:1;plain:3", "https://cdn.example.com/a", "http://plain:3"},
        ProxyCase{"http=a:1;socks=s:1081", "https://cdn.example.com/a", "socks4://s:1081"},
        ProxyCase{"socks=s", "https://cdn.example.com/a", "socks4://s:1080"},
        ProxyCase{"http=a:1;ftp=f:21", "https://cdn.example.com/a", ""},
        ProxyCase{"https=[fd00::1]:8080", "https://cdn.example.com/a", "http://[fd00::1]:8080"},
        ProxyCase{"https=[fd00::1]", "https://cdn.example.com/a", "http://[fd00::1]:80"}));

struct BypassCase {
  const char* bypass;
  const char* host;
  const char* expected;
};

class NoProxyListTest : public ::testing::TestWithParam<BypassCase> {};

TEST_P(NoProxyListTest, SaysWhatLibcurlCanMatch) {
  const BypassCase& c = GetParam();
  EXPECT_EQ(NoProxyList(c.bypass, c.host), c.expected) << c.bypass << " for " << c.host;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, NoProxyListTest,
    ::testing::Values(
        BypassCase{"", "cdn.example.com", ""},
        BypassCase{"intranet;files.corp", "cdn.example.com", "intranet,files.corp"},
        BypassCase{"intranet files.corp\tx.org", "cdn.example.com", "intranet,files.corp,x.org"},
        BypassCase{"*.Example.COM", "cdn.example.com", ".example.com"},
        BypassCase{"*", "cdn.example.com", "*"},
        BypassCase{"10.*;172.16.*;192.168.1.*", "cdn.example.com",
                   "10.0.0.0/8,172.16.0.0/16,192.168.1.0/24"},
        BypassCase{"300.*", "cdn.example.com", ""},
        BypassCase{"127.0.0.1;[::1]", "cdn.example.com", "127.0.0.1,::1"},
        BypassCase{"http://files.corp:8080/;wiki:80", "cdn.example.com", "files.corp,wiki"},
        // "<local>": names without a dot, which libcurl cannot say; the transfer's own host is.
        BypassCase{"<local>", "buildserver", "buildserver"},
        BypassCase{"<local>", "cdn.example.com", ""},
        BypassCase{"<-loopback>;<local>", "localhost", "localhost"},
        // Other wildcard patterns likewise, for the transfer's host only.
        BypassCase{"cdn.*.com", "cdn.example.com", "cdn.example.com"},
        BypassCase{"cdn.*.com", "www.example.com", ""},
        BypassCase{"*example*", "cdn.EXAMPLE.com", "cdn.example.com"}));

TEST(ChooseProxy, BypassListIsTheOneForTheTransfersHost) {
  const std::optional<CurlProxy> chosen =
      ChooseProxy({"proxy:8080", "<local>;*.corp"}, "https://user@intranet:8443/x?y");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->noProxy, "intranet,.corp");
}

}  // namespace

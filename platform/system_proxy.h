#pragma once
// The proxy the user set for the account in the system's internet settings, in the system's own
// notation; net/ turns it into libcurl's.

#include <string>

namespace platform {

struct ProxySettings {
  // "host:port" for every scheme, or per scheme "http=host:port;https=host:port;socks=host:port"
  // (';' or blanks between entries). Empty: no fixed proxy, transfers go direct.
  std::string proxy;
  // The hosts reached directly: names, addresses and wildcard patterns ("*.example.com",
  // "10.*"), and "<local>" for every name without a dot; ';' or blanks between them.
  std::string bypass;
};

// Windows: the fixed proxy of the current user's internet settings. An automatic configuration
// (a PAC script, auto-detection) is not followed: only the fixed proxy beside it is used.
// Elsewhere nothing: libcurl reads the usual environment variables (https_proxy, no_proxy) there
// by itself.
ProxySettings UserProxySettings();

}  // namespace platform

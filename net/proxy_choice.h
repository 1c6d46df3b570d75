#pragma once
// Which proxy a transfer goes through, turned from the system's notation (platform/system_proxy.h)
// into libcurl's: CURLOPT_PROXY and CURLOPT_NOPROXY.

#include <functional>
#include <optional>
#include <string>

#include "platform/system_proxy.h"

struct CurlProxy {
  // CURLOPT_PROXY: "http://host:port", "socks4://host:port", or empty for a direct transfer.
  std::string proxy;
  // CURLOPT_NOPROXY: the hosts reached directly, as libcurl matches them (see NoProxyList).
  std::string noProxy;
};

// The proxy for a transfer to url. Nothing when the settings name no fixed proxy: libcurl then
// keeps its own defaults (the environment variables). An https URL takes the "https=" entry,
// else an entry without a scheme, else the "socks=" one; with none of them it goes direct, as
// the system's own transfers do.
std::optional<CurlProxy> ChooseProxy(const platform::ProxySettings& settings,
                                     const std::string& url);

// The bypass list in libcurl's form, for a transfer to host. libcurl matches a name and every
// name below it, a leading dot alike, an address, a CIDR block, or "*" for all; so:
//   "name", "1.2.3.4", "*"  -> the same (a name also lets its subdomains through directly)
//   "*.example.com"         -> ".example.com" (example.com itself goes direct too)
//   "10.*", "192.168.1.*"   -> "10.0.0.0/8", "192.168.1.0/24"
//   "name:port", "http://name" -> "name" (every port and scheme)
// What libcurl cannot express is decided here for the transfer's own host and, when it
// matches, that host is listed: "<local>" (a name without a dot) and any other wildcard
// pattern. A redirect to another host is judged by the expressed entries alone.
std::string NoProxyList(const std::string& bypass, const std::string& host);

// Where every transfer reads the settings from: the user's (platform::UserProxySettings) unless
// a test hands its own; an empty function restores the user's.
void SetProxySettingsSource(std::function<platform::ProxySettings()> source);
platform::ProxySettings CurrentProxySettings();

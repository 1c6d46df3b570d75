#include "net/proxy_choice.h"

#include <cctype>
#include <mutex>
#include <utility>
#include <vector>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The system separates entries with ';' and with blanks alike.
std::vector<std::string> Entries(const std::string& list) {
  std::vector<std::string> entries;
  std::string entry;
  for (const char c : list + ";") {
    if (c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!entry.empty()) entries.push_back(std::move(entry));
      entry.clear();
    } else {
      entry += c;
    }
  }
  return entries;
}

// "scheme://rest" -> "rest", the scheme in *scheme.
std::string WithoutScheme(const std::string& text, std::string* scheme = nullptr) {
  const size_t mark = text.find("://");
  if (mark == std::string::npos) return text;
  if (scheme != nullptr) *scheme = Lower(text.substr(0, mark));
  return text.substr(mark + 3);
}

// Where the port of "host:port" or "[v6]:port" starts (at the colon), or npos.
size_t PortColon(const std::string& hostPort) {
  const size_t colon = hostPort.rfind(':');
  if (colon == std::string::npos) return colon;
  const size_t bracket = hostPort.rfind(']');
  if (bracket != std::string::npos) return colon > bracket ? colon : std::string::npos;
  // A bare IPv6 address has several colons and no port.
  return hostPort.find(':') == colon ? colon : std::string::npos;
}

std::string HostOf(const std::string& url) {
  std::string rest = WithoutScheme(url);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const size_t at = rest.rfind('@');
  if (at != std::string::npos) rest.erase(0, at + 1);
  const size_t colon = PortColon(rest);
  if (colon != std::string::npos) rest.resize(colon);
  if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']')
    rest = rest.substr(1, rest.size() - 2);
  return Lower(rest);
}

// One proxy of the system's list as libcurl's URL. The system's default port is 80 for an HTTP
// proxy and 1080 for SOCKS; libcurl's is 1080 for both, so the port is always written out.
std::string ProxyUrl(const std::string& value, bool socks) {
  std::string scheme;
  std::string hostPort = WithoutScheme(value, &scheme);
  while (!hostPort.empty() && hostPort.back() == '/') hostPort.pop_back();
  if (hostPort.empty()) return {};
  if (PortColon(hostPort) == std::string::npos) hostPort += socks ? ":1080" : ":80";
  // The system's SOCKS client speaks version 4 and resolves names itself.
  if (socks) return "socks4://" + hostPort;
  return (scheme.empty() ? "http" : scheme) + "://" + hostPort;
}

bool Glob(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') return Glob(pattern + 1, text) || (*text != '\0' && Glob(pattern, text + 1));
  return *text != '\0' && *pattern == *text && Glob(pattern + 1, text + 1);
}

// "10.*", "172.16.*", "192.168.1.*": an address block libcurl takes as CIDR.
std::string AddressBlock(const std::string& pattern) {
  if (pattern.size() < 3 || pattern.compare(pattern.size() - 2, 2, ".*") != 0) return {};
  const std::string prefix = pattern.substr(0, pattern.size() - 2);
  std::string block;
  int parts = 0;
  for (size_t start = 0; start <= prefix.size();) {
    size_t end = prefix.find('.', start);
    if (end == std::string::npos) end = prefix.size();
    const std::string part = prefix.substr(start, end - start);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string::npos || std::stoi(part) > 255) {
      return {};
    }
    block += part + ".";
    ++parts;
    start = end + 1;
  }
  if (parts > 3) return {};
  for (int i = parts; i < 4; ++i) block += "0.";
  block.back() = '/';
  return block + std::to_string(parts * 8);
}

std::mutex sourceLock;
std::function<platform::ProxySettings()> source;

}  // namespace

std::optional<CurlProxy> ChooseProxy(const platform::ProxySettings& settings,
                                     const std::string& url) {
  const std::vector<std::string> entries = Entries(settings.proxy);
  if (entries.empty()) return std::nullopt;
  std::string urlScheme;
  WithoutScheme(url, &urlScheme);
  std::string own, plain, socks;
  for (const std::string& entry : entries) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      if (plain.empty()) plain = entry;
      continue;
    }
    const std::string scheme = Lower(entry.substr(0, equals));
    const std::string value = entry.substr(equals + 1);
    if (scheme == urlScheme && own.empty()) own = value;
    if (scheme == "socks" && socks.empty()) socks = value;
  }
  CurlProxy chosen;
  if (!own.empty()) {
    chosen.proxy = ProxyUrl(own, false);
  } else if (!plain.empty()) {
    chosen.proxy = ProxyUrl(plain, false);
  } else if (!socks.empty()) {
    chosen.proxy = ProxyUrl(socks, true);
  }
  if (!chosen.proxy.empty()) chosen.noProxy = NoProxyList(settings.bypass, HostOf(url));
  return chosen;
}

std::string NoProxyList(const std::string& bypass, const std::string& transferHost) {
  const std::string host = Lower(transferHost);  // names match without regard to case
  std::vector<std::string> hosts;
  for (const std::string& raw : Entries(Lower(bypass))) {
    if (raw == "<local>") {
      if (!host.empty() && host.find('.') == std::string::npos) hosts.push_back(host);
      continue;
    }
    if (raw.front() == '<') continue;  // "<-loopback>" and other markers
    std::string entry = WithoutScheme(raw);
    while (!entry.empty() && entry.back() == '/') entry.pop_back();
    const size_t colon = PortColon(entry);
    if (colon != std::string::npos) entry.resize(colon);
    if (entry.size() >= 2 && entry.front() == '[' && entry.back() == ']') {
      entry = entry.substr(1, entry.size() - 2);
    }
    if (entry.empty()) continue;
    const size_t star = entry.find('*');
    if (star == std::string::npos || entry == "*") {
      hosts.push_back(entry);
    } else if (star == 0 && entry.size() > 2 && entry[1] == '.' &&
               entry.find('*', 1) == std::string::npos) {
      hosts.push_back(entry.substr(1));
    } else if (const std::string block = AddressBlock(entry); !block.empty()) {
      hosts.push_back(block);
    } else if (Glob(entry.c_str(), host.c_str())) {
      hosts.push_back(host);
    }
  }
  std::string list;
  for (const std::string& name : hosts) list += (list.empty() ? "" : ",") + name;
  return list;
}

void SetProxySettingsSource(std::function<platform::ProxySettings()> replacement) {
  const std::lock_guard<std::mutex> hold(sourceLock);
  source = std::move(replacement);
}

platform::ProxySettings CurrentProxySettings() {
  std::function<platform::ProxySettings()> read;
  {
    const std::lock_guard<std::mutex> hold(sourceLock);
    read = source;
  }
  return read ? read() : platform::UserProxySettings();
}

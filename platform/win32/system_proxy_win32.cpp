// The current user's fixed proxy through WinHTTP, which reads the same per-user internet settings
// the system's own browser and the Settings app write.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "platform/system_proxy.h"

namespace platform {
namespace {

// WinHTTP hands the strings over to the caller, who frees them with GlobalFree.
class GlobalText {
 public:
  explicit GlobalText(LPWSTR text) : text_(text) {}
  ~GlobalText() {
    if (text_ != nullptr) ::GlobalFree(text_);
  }
  GlobalText(const GlobalText&) = delete;
  GlobalText& operator=(const GlobalText&) = delete;

  // Host names travel as UTF-8 to libcurl.
  std::string Utf8() const {
    if (text_ == nullptr || text_[0] == L'\0') return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text_, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text_, -1, narrow.data(), n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n - 1));
    return narrow;
  }

 private:
  LPWSTR text_;
};

}  // namespace

ProxySettings UserProxySettings() {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
  // A PAC script's URL is not followed yet: evaluating it needs WinHTTP's own transfer or a
  // script engine. The fixed proxy set beside it still applies.
  const GlobalText autoConfigUrl(config.lpszAutoConfigUrl);
  const GlobalText proxy(config.lpszProxy);
  const GlobalText bypass(config.lpszProxyBypass);
  // lpszProxy is filled only while the "use a proxy server" switch is on.
  return ProxySettings{proxy.Utf8(), bypass.Utf8()};
}

}  // namespace platform

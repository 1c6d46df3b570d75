// The user's proxy read back through WinHTTP after it was stored the way the system's settings
// store it for the current user: the values under Internet Settings and the connection blob
// beside them (Wine's WinHTTP reads only the blob; Windows keeps both).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/proxy_choice.h"
#include "platform/system_proxy.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// One registry value as it was, to put back after the test.
struct SavedValue {
  const wchar_t* key;
  const wchar_t* name;
  std::optional<std::vector<BYTE>> data;
  DWORD type = REG_NONE;
};

SavedValue Save(const wchar_t* key, const wchar_t* name) {
  SavedValue saved{key, name, std::nullopt};
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return saved;
  DWORD size = 0;
  if (::RegQueryValueExW(handle, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size);
    ::RegQueryValueExW(handle, name, nullptr, &saved.type, data.data(), &size);
    saved.data = data;
  }
  ::RegCloseKey(handle);
  return saved;
}

void Put(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, size_t size) {
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                              nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(::RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(size)),
            ERROR_SUCCESS);
  ::RegCloseKey(handle);
}

void Remove(const wchar_t* key, const wchar_t* name) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_WRITE, &handle) != ERROR_SUCCESS) return;
  ::RegDeleteValueW(handle, name);
  ::RegCloseKey(handle);
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The connection blob: version, change counter, flags (1 direct, 2 fixed proxy, 4 script,
// 8 detection), then the proxy, the bypass list and the script URL, each as a length and bytes.
std::vector<BYTE> ConnectionBlob(bool proxyOn, const std::string& proxy,
                                 const std::string& bypass) {
  std::vector<BYTE> blob;
  const auto word = [&blob](uint32_t value) {
    for (int i = 0; i < 4; ++i) blob.push_back(static_cast<BYTE>(value >> (8 * i)));
  };
  const auto text = [&](const std::string& value) {
    word(static_cast<uint32_t>(value.size()));
    blob.insert(blob.end(), value.begin(), value.end());
  };
  word(0x46);
  word(1);
  word(proxyOn ? 3 : 1);
  text(proxy);
  text(bypass);
  text("");
  blob.resize(blob.size() + 32, 0);
  return blob;
}

struct StoredCase {
  const char* name;
  bool stored;  // false: no proxy values at all, as on a fresh account
  bool proxyOn;
  const char* proxy;
  const char* bypass;
  const char* expectedProxy;
  const char* expectedBypass;
  const char* curlProxy;  // what a transfer to https://cdn.example.com/ then goes through
};

class SystemProxyWin32 : public ::testing::TestWithParam<StoredCase> {
 protected:
  SystemProxyWin32()
      : saved_{Save(kSettingsKey, L"ProxyEnable"), Save(kSettingsKey, L"ProxyServer"),
               Save(kSettingsKey, L"ProxyOverride"),
               Save(kConnectionsKey, L"DefaultConnectionSettings")} {}
  ~SystemProxyWin32() override {
    for (const SavedValue& value : saved_) {
      if (value.data) {
        Put(value.key, value.name, value.type, value.data->data(), value.data->size());
      } else {
        Remove(value.key, value.name);
      }
    }
  }

  void Store(const StoredCase& c) {
    for (const SavedValue& value : saved_) Remove(value.key, value.name);
    if (!c.stored) return;
    const DWORD enable = c.proxyOn ? 1 : 0;
    Put(kSettingsKey, L"ProxyEnable", REG_DWORD, &enable, sizeof enable);
    const std::wstring proxy = Wide(c.proxy);
    const std::wstring bypass = Wide(c.bypass);
    Put(kSettingsKey, L"ProxyServer", REG_SZ, proxy.c_str(), (proxy.size() + 1) * sizeof(wchar_t));
    Put(kSettingsKey, L"ProxyOverride", REG_SZ, bypass.c_str(),
        (bypass.size() + 1) * sizeof(wchar_t));
    const std::vector<BYTE> blob = ConnectionBlob(c.proxyOn, c.proxy, c.bypass);
    Put(kConnectionsKey, L"DefaultConnectionSettings", REG_BINARY, blob.data(), blob.size());
  }

 private:
  std::vector<SavedValue> saved_;
};

TEST_P(SystemProxyWin32, ReadsTheStoredProxyBack) {
  const StoredCase& c = GetParam();
  Store(c);

  const platform::ProxySettings settings = platform::UserProxySettings();
  EXPECT_EQ(settings.proxy, c.expectedProxy);
  EXPECT_EQ(settings.bypass, c.expectedBypass);
  const std::optional<CurlProxy> chosen = ChooseProxy(settings, "https://cdn.example.com/x");
  EXPECT_EQ(chosen ? chosen->proxy : "(libcurl's defaults)", c.curlProxy);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, SystemProxyWin32,
    ::testing::Values(StoredCase{"PerScheme", true, true, "http=a:1;https=b:2;socks=s:1080",
                                 "<local>;*.example.com", "http=a:1;https=b:2;socks=s:1080",
                                 "<local>;*.example.com", "http://b:2"},
                      StoredCase{"OneForAll", true, true, "proxy.corp:8080", "", "proxy.corp:8080",
                                 "", "http://proxy.corp:8080"},
                      StoredCase{"SwitchedOff", true, false, "proxy.corp:8080", "intranet", "", "",
                                 "(libcurl's defaults)"},
                      StoredCase{"NothingStored", false, false, "", "", "", "",
                                 "(libcurl's defaults)"}),
    [](const ::testing::TestParamInfo<StoredCase>& info) { return info.param.name; });

}  // namespace

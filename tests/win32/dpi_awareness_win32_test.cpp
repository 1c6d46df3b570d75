// The launcher's manifest as the system's loader reads it: the process is per-monitor DPI aware
// (Windows 10 1703 on: PerMonitorV2; Windows 8.1 and older builds of 10: PerMonitor, read from
// dpiAware "true/pm"), so Windows hands it the screen's real DPI instead of stretching its
// windows.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

struct ManifestSetting {
  const wchar_t* space;
  const wchar_t* name;
  const wchar_t* value;
};

}  // namespace

TEST(DpiAwareness, TheLaunchersManifestDeclaresPerMonitorAwareness) {
  ACTCTXA request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = TIDEWAKE_LAUNCHER;
  request.lpResourceName = MAKEINTRESOURCEA(1);  // CREATEPROCESS_MANIFEST_RESOURCE_ID
  HANDLE context = CreateActCtxA(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE) << "no manifest in " << TIDEWAKE_LAUNCHER;

  for (const ManifestSetting& setting :
       {ManifestSetting{L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
                        L"PerMonitorV2,PerMonitor"},
        ManifestSetting{L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware",
                        L"true/pm"}}) {
    wchar_t value[128] = {};
    SIZE_T written = 0;
    EXPECT_TRUE(QueryActCtxSettingsW(0, context, setting.space, setting.name, value, 128, &written))
        << "the manifest has no setting " << setting.name << " (GetLastError " << GetLastError()
        << ")";
    EXPECT_EQ(std::wstring(value), std::wstring(setting.value)) << setting.name;
  }
  ReleaseActCtx(context);
}

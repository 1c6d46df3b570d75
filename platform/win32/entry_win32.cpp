// The process entry on Windows: the wide arguments become narrow ones in the ANSI code page,
// GDI+ runs for the whole launcher, and the instance handle goes to the resource loader.

#include <windows.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/launcher_main.h"
#include "platform/process.h"

namespace {

std::string WideToAnsi(const wchar_t* wide) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  std::vector<std::string> arguments;
  int count = 0;
  if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) arguments.push_back(WideToAnsi(wide[i]));
    ::LocalFree(wide);
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(arguments.size());
  platform::SetProgramArguments(argc, argv.data());

  Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread on
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  const int exitCode = LauncherMain(instance, argc, argv.data());
  Gdiplus::GdiplusShutdown(token);
  return exitCode;
}

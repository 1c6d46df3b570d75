// The process entry on Windows: the wide arguments become narrow ones in the ANSI code page,
// GDI+ runs for the whole launcher, and the instance handle goes to the resource loader.

#include <windows.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/launcher_main.h"
#include "platform/process.h"
#include "platform/win32/wide_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  std::vector<std::string> arguments;
  int count = 0;
  if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) arguments.push_back(platform::WideToAnsi(wide[i]));
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

// The process entry on Windows: the wide arguments become narrow ones in the ANSI code page, and
// the instance handle goes to the resource loader. GDI+ starts with the window system, after the
// single-instance check.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/program_main.h"
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

  return LauncherMain(instance, argc, argv.data());
}

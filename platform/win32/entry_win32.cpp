// The process entry on Windows: the wide arguments become narrow ones in the ANSI code page, and
// the instance handle goes to the resource loader. GDI+ starts with the window system, after the
// single-instance check.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/program_main.h"
#include "platform/win32/command_line.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  std::vector<std::string> arguments = platform::CommandLineArguments();
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return platform::EnterProgram(instance, static_cast<int>(arguments.size()), argv.data());
}

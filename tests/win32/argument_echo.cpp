// Writes the arguments the launcher's own entry would take from its command line, in the sample
// game's form ("argc=N", then "argI=..."), to "arguments_taken.txt" in its working directory.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/command_line.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::string> arguments = platform::CommandLineArguments();
  std::FILE* out = std::fopen("arguments_taken.txt", "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "argc=%d\n", static_cast<int>(arguments.size()) - 1);
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::fprintf(out, "arg%d=%s\n", static_cast<int>(i), arguments[i].c_str());
  }
  std::fclose(out);
  return 0;
}

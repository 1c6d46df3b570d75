// The launcher's own way of taking its arguments, written in the sample game's form to
// "arguments_taken.txt" in the working directory.

#include <windows.h>

#include <cstdio>

#include "platform/win32/command_line.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const auto arguments = platform::CommandLineArguments();
  std::FILE* out = std::fopen("arguments_taken.txt", "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "argc=%d\n", static_cast<int>(arguments.size()) - 1);
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::fprintf(out, "arg%d=%s\n", static_cast<int>(i), arguments[i].c_str());
  }
  return std::fclose(out);
}

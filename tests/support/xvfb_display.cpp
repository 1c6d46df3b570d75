#include "tests/support/xvfb_display.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace testing_support {

bool XvfbDisplay::Installed() {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    if (std::filesystem::exists(std::filesystem::path(dir) / "Xvfb")) return true;
  }
  return false;
}

XvfbDisplay::XvfbDisplay(int width, int height) {
  if (!Installed()) return;
  // -displayfd makes Xvfb choose a free display and print its number once it accepts clients.
  // A watchdog ends the server should this process die before its destructor runs.
  const std::string command = "Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 " +
                              std::to_string(width) + "x" + std::to_string(height) +
                              "x24 2>/dev/null & x=$!; echo $x; "
                              "(while kill -0 $PPID 2>/dev/null; do sleep 1; done; kill $x) "
                              ">/dev/null 2>&1 &";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return;
  long pid = 0;
  int number = -1;
  if (std::fscanf(pipe, "%ld %d", &pid, &number) == 2 && number >= 0) {
    pid_ = pid;
    display_ = ":" + std::to_string(number);
    const char* previous = std::getenv("DISPLAY");
    hadPrevious_ = previous != nullptr;
    if (hadPrevious_) previous_ = previous;
    ::setenv("DISPLAY", display_.c_str(), 1);
  }
  // Waits for the shell only, which has ended; Xvfb keeps running in the background.
  ::pclose(pipe);
}

XvfbDisplay::~XvfbDisplay() {
  if (pid_ <= 0) return;
  RunCommand("kill " + std::to_string(pid_));
  if (hadPrevious_) {
    ::setenv("DISPLAY", previous_.c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    if (output != nullptr) output->append(buffer, n);
  }
  return ::pclose(pipe);
}

}  // namespace testing_support

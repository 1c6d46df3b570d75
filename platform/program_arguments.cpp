#include <mutex>

#include "platform/process.h"

namespace platform {

// The arguments as the system itself reports them, for a process whose entry point has not
// handed any over (defined per backend).
std::vector<std::string> ArgumentsFromSystem();

namespace {

std::mutex argumentsMutex;
bool argumentsSet = false;
std::vector<std::string> programArguments;

}  // namespace

std::vector<std::string> ProgramArguments() {
  {
    std::lock_guard lock(argumentsMutex);
    if (argumentsSet) return programArguments;
  }
  return ArgumentsFromSystem();
}

void SetProgramArguments(int argc, char** argv) {
  std::lock_guard lock(argumentsMutex);
  programArguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  argumentsSet = true;
}

}  // namespace platform

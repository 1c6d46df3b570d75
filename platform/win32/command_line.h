#pragma once

#include <string>
#include <vector>

namespace platform {

// The process's wide command line split the way the runtime splits it (CommandLineToArgvW), the
// program's own path first, each argument in the ANSI code page.
std::vector<std::string> CommandLineArguments();

}  // namespace platform

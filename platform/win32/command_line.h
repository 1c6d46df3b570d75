#pragma once

#include <string>
#include <vector>

namespace platform {

// The process's command line as the C runtime split it for the program (its __wargv, else its
// __argv), the program's own path first, each argument in the ANSI code page.
std::vector<std::string> CommandLineArguments();

}  // namespace platform

#pragma once
// The seam's hook for the program itself. The platform owns the process entry (main, wWinMain)
// but knows nothing of what runs above it: the program defines LauncherMain above the seam, and
// the platform's entry point calls it once it holds the arguments in the narrow encoding.

#include "platform/process.h"

// instance is the module handle where the platform has one (null elsewhere); argv holds the
// program's arguments in the narrow encoding, already handed to platform::SetProgramArguments.
// Returns the exit code.
int LauncherMain(void* instance, int argc, char** argv);

namespace platform {

// What every entry point does once it holds the narrow arguments: keeps them for the game, then
// runs the program. Inline, because only the executable defines LauncherMain: the test programs
// link the platform without it.
inline int EnterProgram(void* instance, int argc, char** argv) {
  SetProgramArguments(argc, argv);
  return LauncherMain(instance, argc, argv);
}

}  // namespace platform

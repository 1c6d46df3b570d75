#pragma once

// The launcher after the platform's entry point: instance is the module handle where the
// platform has one; argv holds the program's arguments in the narrow encoding, which the entry
// point has already handed to platform::SetProgramArguments. Returns the exit code.
int LauncherMain(void* instance, int argc, char** argv);

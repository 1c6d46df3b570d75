// The process entry on Linux: the arguments are kept for the game, then the launcher runs.

#include "platform/process.h"
#include "platform/program_main.h"

int main(int argc, char** argv) {
  platform::SetProgramArguments(argc, argv);
  return LauncherMain(nullptr, argc, argv);
}

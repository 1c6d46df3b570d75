// The process entry on Linux: the arguments are kept for the game, then the launcher runs.

#include "app/launcher_main.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::SetProgramArguments(argc, argv);
  return LauncherMain(nullptr, argc, argv);
}

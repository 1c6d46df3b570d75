#include <cstdio>
#include <cstdlib>

#include "platform/process_exit.h"

namespace platform {

void QuickExit(int code) {
  // Diagnostics go to a pipe in tests and scripts; without this flush the last lines would be lost.
  std::fflush(nullptr);
  // MinGW's runtime has no quick_exit. The launcher registers no at_quick_exit handlers, so
  // _Exit ends the process the same way: no destructors, no atexit handlers.
  std::_Exit(code);
}

}  // namespace platform

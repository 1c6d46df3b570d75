#include "platform/process_exit.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void QuickExit(int code) {
  // Diagnostics go to a pipe in tests and scripts; without this flush the last lines would be lost.
  std::fflush(nullptr);
  std::quick_exit(code);
}

}  // namespace platform

#include "platform/window_system.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
std::atomic<WindowSystem*> current{nullptr};
}  // namespace

void SetCurrentWindowSystem(WindowSystem* windows) { current.store(windows); }

WindowSystem& CurrentWindowSystem() {
  WindowSystem* windows = current.load();
  if (windows == nullptr) {
    std::fprintf(stderr, "no window system installed\n");
    std::abort();
  }
  return *windows;
}

}  // namespace platform

// Chooses the window system: GTK from its module when there is an X display, else headless.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/gtk_module.h"
#include "platform/window_system.h"

namespace platform {
namespace {

std::string ExecutableDirectory() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string exe(path, static_cast<size_t>(length));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash == 0 ? 1 : slash);
}

std::unique_ptr<WindowSystem> LoadGtkWindowSystem(int* argc, char*** argv) {
  const std::string module = ExecutableDirectory() + "/" + kGtkModuleFileName;
  // Never closed: GTK cannot be unloaded once it has started.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  const auto entry =
      handle == nullptr ? nullptr
                        : reinterpret_cast<GtkModuleEntry>(::dlsym(handle, kGtkModuleEntryName));
  if (entry == nullptr) {
    // Only the packager can mend this; the launcher goes on without a window.
    const char* why = ::dlerror();
    std::fprintf(stderr, "tidewake: no window, the GTK module does not load: %s\n",
                 why != nullptr ? why : module.c_str());
    return nullptr;
  }
  return std::unique_ptr<WindowSystem>(entry(argc, argv));
}

}  // namespace

std::unique_ptr<WindowSystem> CreateWindowSystem(int* argc, char*** argv) {
  // The GTK backend speaks X11 only; without a display it could not start anyway.
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0') {
    if (std::unique_ptr<WindowSystem> windows = LoadGtkWindowSystem(argc, argv)) return windows;
  }
  return CreateHeadlessWindowSystem();
}

}  // namespace platform

#pragma once
// The GTK backend alone: null when no display can be opened.

#include <memory>

#include "platform/window_system.h"

namespace platform {

std::unique_ptr<WindowSystem> CreateGtkWindowSystem(int* argc, char*** argv);

}  // namespace platform

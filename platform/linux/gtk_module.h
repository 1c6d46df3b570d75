#pragma once
// The GTK backend lives in a module of its own, next to the executable, loaded only when there is
// a display to show it on: a run without one never maps GTK and the libraries it brings.

#include "platform/window_system.h"

namespace platform {

inline constexpr char kGtkModuleFileName[] = "tidewake-gtk.so";
inline constexpr char kGtkModuleEntryName[] = "TidewakeCreateGtkWindowSystem";

// The module's entry: a new GTK window system, or null when no display can be opened.
using GtkModuleEntry = WindowSystem* (*)(int* argc, char*** argv);

}  // namespace platform

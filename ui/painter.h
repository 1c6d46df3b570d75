#pragma once
// Composes one window's drawables into a fresh surface and hands it to the window system, at most
// once per 16 ms for all windows together, and only when one of the window's drawables is dirty.

#include <cstdint>
#include <functional>

#include "ui/drawable.h"

// Run for every Paint message of every window.
void PaintLayeredWindow(WindowHandle window);
bool HasDirtyDrawable(WindowHandle window);
// Invalidates the window when it has a dirty drawable.
void RequestRepaint(WindowHandle window);

// The millisecond tick the throttle reads (the system's 32-bit tick count unless replaced; tests
// replace it to cross the wrap). An empty function restores the system's.
void SetPaintTickSource(std::function<uint32_t()> source);
// Forget the last composition, as at start-up.
void ResetPaintThrottle();

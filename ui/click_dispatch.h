#pragma once
// Clicks: the topmost visible drawable under the point gets its callback.

#include <cstdint>

#include "ui/drawable.h"

// Hit test in layout coordinates (shared by every window of the stack, which all lie on the
// same screen rectangle). Edges are inclusive. On a scaled screen a device pixel falls between
// layout pixels: the point keeps its fraction.
void DispatchClick(double px, double py);

// What the window procedure does on a left-button press on any window: the press drags the
// whole splash; only a press with exactly the left button held (no modifier, no other button)
// reaches a widget. The callback runs before the drag starts. x and y are device pixels.
void HandleLeftButtonDown(WindowHandle mainWindow, uint32_t keyState, int32_t x, int32_t y);

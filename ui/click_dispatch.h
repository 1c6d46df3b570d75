#pragma once
// Clicks: the topmost visible drawable under the point gets its callback.

#include <cstdint>

#include "ui/drawable.h"

// Hit test in client coordinates (shared by every window of the stack, which all lie on the
// same screen rectangle). Edges are inclusive.
void DispatchClick(int32_t px, int32_t py);

// What the window procedure does on a left-button press on any window: the press drags the
// whole splash; only a press with exactly the left button held (no modifier, no other button)
// reaches a widget. The callback runs before the drag starts.
void HandleLeftButtonDown(WindowHandle mainWindow, uint32_t keyState, int32_t x, int32_t y);

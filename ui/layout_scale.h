#pragma once
// The splash is laid out in layout pixels, the 1110 x 492 design drawn for a 96 DPI screen. On a
// screen of higher density every window, surface and pointer position is in device pixels: the
// layout scale, taken from the screen once as the splash opens, maps one onto the other. Drawing
// is magnified by it and clicks are divided by it; the layout itself never changes.

#include <cstdint>

// Before the main window is made; 1 (the default) keeps every pixel as it was.
void SetLayoutScale(float factor);
float LayoutScale();
// A layout length in device pixels, to the nearest.
int32_t ToDevicePixels(int32_t length);

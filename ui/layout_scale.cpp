#include "ui/layout_scale.h"

#include <cmath>

namespace {
// Written once on the user-interface thread before any window exists; read there only.
float layoutScale = 1;
}  // namespace

void SetLayoutScale(float factor) { layoutScale = factor > 0 ? factor : 1; }

float LayoutScale() { return layoutScale; }

int32_t ToDevicePixels(int32_t length) {
  return static_cast<int32_t>(std::lround(static_cast<double>(length) * layoutScale));
}

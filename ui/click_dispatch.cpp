#include "ui/click_dispatch.h"

#include "ui/layout_scale.h"

void DispatchClick(double px, double py) {
  for (size_t i = drawableList.size(); i-- > 0;) {
    Drawable* drawable = drawableList[i];
    if (!drawable->visible) continue;
    const bool hit = drawable->x <= px && px <= drawable->x + drawable->width &&
                     drawable->y <= py && py <= drawable->y + drawable->height;
    if (!hit) continue;
    if (drawable->onClick) drawable->onClick();
    return;
  }
}

void HandleLeftButtonDown(WindowHandle mainWindow, uint32_t keyState, int32_t x, int32_t y) {
  // The position word carries two unsigned 16-bit client coordinates.
  if (keyState == platform::kMkLButton) {
    const double scale = LayoutScale();
    DispatchClick(static_cast<uint16_t>(x) / scale, static_cast<uint16_t>(y) / scale);
  }
  platform::CurrentWindowSystem().BeginDrag(mainWindow);
}

#include "ui/click_dispatch.h"

void DispatchClick(int32_t px, int32_t py) {
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
    DispatchClick(static_cast<int32_t>(static_cast<uint16_t>(x)),
                  static_cast<int32_t>(static_cast<uint16_t>(y)));
  }
  platform::CurrentWindowSystem().BeginDrag(mainWindow);
}

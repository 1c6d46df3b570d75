#pragma once
// Which invalid window gets the next paint message. The painter composes one window per 16 ms, so
// in a frame where several windows changed only the first paint message composes. Handed out in
// any fixed order, a window that changes every frame (the transfer texts) would keep the others,
// the main window too, from ever showing; the window that has waited longest goes first instead.

#include <cstdint>
#include <map>
#include <span>

#include "platform/window_system.h"

namespace platform {

class PaintFairness {
 public:
  // The window has just been given new content.
  void Presented(WindowHandle window);
  // Of the invalid windows, the one that was given content longest ago; a window never given any
  // counts as the oldest, and of equals the first in the list wins. Null for an empty list.
  WindowHandle Next(std::span<const WindowHandle> invalid) const;

 private:
  uint64_t SerialOf(WindowHandle window) const;

  // When each window was last given content, as a running count.
  std::map<WindowHandle, uint64_t> presentedSerial_;
  uint64_t lastSerial_ = 0;
};

}  // namespace platform

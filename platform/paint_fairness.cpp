#include "platform/paint_fairness.h"

namespace platform {

void PaintFairness::Presented(WindowHandle window) { presentedSerial_[window] = ++lastSerial_; }

uint64_t PaintFairness::SerialOf(WindowHandle window) const {
  const auto found = presentedSerial_.find(window);
  return found == presentedSerial_.end() ? 0 : found->second;
}

WindowHandle PaintFairness::Next(std::span<const WindowHandle> invalid) const {
  if (invalid.empty()) return nullptr;
  WindowHandle chosen = invalid.front();
  uint64_t oldest = SerialOf(chosen);
  for (WindowHandle window : invalid.subspan(1)) {
    const uint64_t serial = SerialOf(window);
    if (serial < oldest) {
      chosen = window;
      oldest = serial;
    }
  }
  return chosen;
}

}  // namespace platform

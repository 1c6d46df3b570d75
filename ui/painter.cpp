#include "ui/painter.h"

#include <memory>
#include <utility>

#include "platform/clock.h"
#include "ui/layout_scale.h"

namespace {

// One stamp for all windows: compositions of different windows also keep 16 ms apart.
uint32_t lastPaintTick = 0;
constexpr uint32_t kMinPaintIntervalMs = 16;

std::function<uint32_t()>& TickSource() {
  static std::function<uint32_t()> source;
  return source;
}

uint32_t ReadTick() { return TickSource() ? TickSource()() : platform::TickCountMs(); }

}  // namespace

void SetPaintTickSource(std::function<uint32_t()> source) { TickSource() = std::move(source); }

void ResetPaintThrottle() { lastPaintTick = 0; }

bool HasDirtyDrawable(WindowHandle window) {
  for (const Drawable* drawable : drawableList) {
    if (drawable->owner == window && drawable->dirty) return true;
  }
  return false;
}

void RequestRepaint(WindowHandle window) {
  if (HasDirtyDrawable(window)) platform::CurrentWindowSystem().Invalidate(window);
}

void PaintLayeredWindow(WindowHandle window) {
  const uint32_t now = ReadTick();
  // Unsigned difference: stays right when the tick count wraps after 49.7 days.
  if (now - lastPaintTick < kMinPaintIntervalMs) return;
  lastPaintTick = now;
  if (!HasDirtyDrawable(window)) return;

  platform::WindowSystem& windows = platform::CurrentWindowSystem();
  const Rect rect = windows.WindowRect(window);
  std::unique_ptr<platform::Surface> surface = windows.CreateSurface(rect.width, rect.height);
  platform::Canvas& canvas = surface->GetCanvas();
  if (LayoutScale() != 1) canvas.SetScale(LayoutScale());
  const size_t count = drawableList.size();
  for (size_t i = 0; i < count; ++i) {
    Drawable* drawable = drawableList[i];
    if (drawable->owner != window) continue;
    if (drawable->visible) drawable->Draw(canvas);
    drawable->dirty = false;
  }
  windows.Present(window, std::move(surface));
}

#pragma once
// Everything shown on the splash is a Drawable painted on one window (its owner). drawableList
// holds every drawable of the process in painting order; read backwards it is the click order.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/canvas.h"
#include "platform/window_system.h"

using Rect = platform::Rect;
using WindowHandle = platform::WindowHandle;

class Drawable {
 public:
  Drawable() = default;
  virtual ~Drawable() = default;
  Drawable(const Drawable&) = delete;
  Drawable& operator=(const Drawable&) = delete;

  virtual void Draw(platform::Canvas& canvas) = 0;
  virtual void SetRect(Rect rect);

  void SetPosition(int32_t newX, int32_t newY) {
    x = newX;
    y = newY;
    dirty = true;
  }
  void SetColor(uint32_t argb) {
    color = argb;
    dirty = true;
  }
  void SetVisible(bool value) {
    if (visible == value) return;
    visible = value;
    dirty = true;
  }
  void SetOnClick(std::function<void()> callback) { onClick = std::move(callback); }

  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t color = 0xFFFFFFFF;
  std::function<void()> onClick;
  bool dirty = true;
  WindowHandle owner = nullptr;
  bool visible = true;
};

// Never shrinks: drawables live until the process ends. Touched on the user-interface thread only.
extern std::vector<Drawable*> drawableList;

#pragma once
// Our own compositor for the window stack: every window of the splash is a layer holding the
// surface last presented for it; the main window's layer is the bottom, the overlays follow in
// stacking order. Shared by the GTK backend (which shows the result in one window) and the
// headless one (which keeps it in memory).

#include <cairo.h>

#include <memory>
#include <vector>

#include "platform/linux/cairo_surface.h"
#include "platform/window_system.h"

namespace platform {

struct WindowObject {
  bool isMain = false;
  Rect rect;
  std::unique_ptr<CairoSurface> content;
  // The part of content that is not fully transparent, in the layer's own pixels; overlays are
  // laid on only there, so a small label costs little to compose.
  Rect opaqueBounds;
  // Where the last composition laid this overlay, relative to the main window.
  int32_t composedDx = 0;
  int32_t composedDy = 0;
};

class LayerCompositor {
 public:
  LayerCompositor() = default;
  LayerCompositor(const LayerCompositor&) = delete;
  LayerCompositor& operator=(const LayerCompositor&) = delete;

  WindowObject* AddMain(const Rect& rect);
  WindowObject* AddOverlay();
  WindowObject* main() const { return main_; }

  // Puts the overlay above all others.
  void Raise(WindowObject* overlay);
  void SetContent(WindowObject* window, std::unique_ptr<CairoSurface> content);
  // Something moved, changed or was restacked since the last Compose.
  bool NeedsCompose() const;
  // The main window's size, its layer with the overlays laid over it. Null without a main window.
  // Only the part that changed since the last call is recomposed.
  cairo_surface_t* Compose();
  cairo_surface_t* composed() const { return composed_.get(); }
  // The part of the composed surface the last Compose changed (empty when none).
  const Rect& lastDamage() const { return lastDamage_; }

 private:
  std::vector<std::unique_ptr<WindowObject>> windows_;
  WindowObject* main_ = nullptr;
  std::vector<WindowObject*> overlays_;  // bottom to top
  std::vector<WindowObject*> composedOrder_;
  Rect composedMainRect_;
  // What changed since the last composition, in the main window's client pixels.
  Rect damage_;
  Rect lastDamage_;
  CairoPtr<cairo_surface_t> composed_;
};

}  // namespace platform

#include "platform/linux/layer_compositor.h"

#include <algorithm>

namespace platform {
namespace {

Rect OpaqueBounds(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  int left = width, top = height, right = -1, bottom = -1;
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    // Most rows of an overlay are empty; this test is what the scan mostly does.
    uint32_t any = 0;
    for (int x = 0; x < width; ++x) any |= row[x];
    if (any == 0) continue;
    int first = 0;
    while (row[first] == 0) ++first;
    int last = width - 1;
    while (row[last] == 0) --last;
    left = std::min(left, first);
    right = std::max(right, last);
    top = std::min(top, y);
    bottom = y;
  }
  if (right < 0) return {};
  return {left, top, right - left + 1, bottom - top + 1};
}

bool IsEmpty(const Rect& r) { return r.width <= 0 || r.height <= 0; }

Rect Union(const Rect& a, const Rect& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  const int32_t left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int32_t right = std::max(a.x + a.width, b.x + b.width);
  const int32_t bottom = std::max(a.y + a.height, b.y + b.height);
  return {left, top, right - left, bottom - top};
}

Rect Intersect(const Rect& a, const Rect& b) {
  const int32_t left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  const int32_t right = std::min(a.x + a.width, b.x + b.width);
  const int32_t bottom = std::min(a.y + a.height, b.y + b.height);
  if (right <= left || bottom <= top) return {};
  return {left, top, right - left, bottom - top};
}

// Where the overlay's visible pixels lie on the main window, as last composed.
Rect ComposedBounds(const WindowObject& overlay) {
  const Rect& b = overlay.opaqueBounds;
  if (!overlay.content || IsEmpty(b)) return {};
  return {overlay.composedDx + b.x, overlay.composedDy + b.y, b.width, b.height};
}

// Draws the main window's layer and the overlays over it into the damaged part of composed.
void LayLayers(cairo_surface_t* composed, const WindowObject& main,
               const std::vector<WindowObject*>& overlays, const Rect& damage) {
  const CairoPtr<cairo_t> context(cairo_create(composed));
  cairo_t* cr = context.get();
  cairo_rectangle(cr, damage.x, damage.y, damage.width, damage.height);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (main.content) {
    cairo_set_source_surface(cr, main.content->surface(), 0, 0);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
  }
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  for (const WindowObject* overlay : overlays) {
    const Rect area = Intersect(ComposedBounds(*overlay), damage);
    if (IsEmpty(area)) continue;
    cairo_set_source_surface(cr, overlay->content->surface(), overlay->composedDx,
                             overlay->composedDy);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_fill(cr);
  }
}

}  // namespace

WindowObject* LayerCompositor::AddMain(const Rect& rect) {
  windows_.push_back(std::make_unique<WindowObject>());
  main_ = windows_.back().get();
  main_->isMain = true;
  main_->rect = rect;
  return main_;
}

WindowObject* LayerCompositor::AddOverlay() {
  windows_.push_back(std::make_unique<WindowObject>());
  overlays_.push_back(windows_.back().get());
  return overlays_.back();
}

void LayerCompositor::Raise(WindowObject* overlay) {
  if (!overlays_.empty() && overlays_.back() == overlay) return;
  const auto at = std::find(overlays_.begin(), overlays_.end(), overlay);
  if (at == overlays_.end()) return;
  overlays_.erase(at);
  overlays_.push_back(overlay);
}

void LayerCompositor::SetContent(WindowObject* window, std::unique_ptr<CairoSurface> content) {
  if (window->isMain) {
    window->content = std::move(content);
    damage_ = {0, 0, window->rect.width, window->rect.height};
    return;
  }
  // The overlay's old pixels go and its new ones come, where it was last laid.
  damage_ = Union(damage_, ComposedBounds(*window));
  window->opaqueBounds = content ? OpaqueBounds(content->surface()) : Rect{};
  window->content = std::move(content);
  damage_ = Union(damage_, ComposedBounds(*window));
}

bool LayerCompositor::NeedsCompose() const {
  if (main_ == nullptr) return false;
  if (!IsEmpty(damage_) || composed_ == nullptr) return true;
  // The frame loop restacks every overlay each frame; only a different end result counts.
  if (overlays_ != composedOrder_) return true;
  const Rect& m = main_->rect;
  if (m.width != composedMainRect_.width || m.height != composedMainRect_.height) return true;
  for (const WindowObject* overlay : overlays_) {
    if (overlay->content && overlay->opaqueBounds.width > 0 &&
        (overlay->rect.x - m.x != overlay->composedDx ||
         overlay->rect.y - m.y != overlay->composedDy)) {
      return true;
    }
  }
  return false;
}

cairo_surface_t* LayerCompositor::Compose() {
  lastDamage_ = {};
  if (main_ == nullptr) return nullptr;
  if (!NeedsCompose()) return composed_.get();
  const Rect& m = main_->rect;
  Rect damage = damage_;
  if (composed_ == nullptr || cairo_image_surface_get_width(composed_.get()) != m.width ||
      cairo_image_surface_get_height(composed_.get()) != m.height) {
    composed_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m.width, m.height));
    damage = {0, 0, m.width, m.height};
  }
  // A restack or an overlay out of line with the main window: recompose all of it.
  if (overlays_ != composedOrder_) damage = {0, 0, m.width, m.height};
  for (WindowObject* overlay : overlays_) {
    if (overlay->rect.x - m.x != overlay->composedDx ||
        overlay->rect.y - m.y != overlay->composedDy) {
      damage = Union(damage, ComposedBounds(*overlay));
      overlay->composedDx = overlay->rect.x - m.x;
      overlay->composedDy = overlay->rect.y - m.y;
      damage = Union(damage, ComposedBounds(*overlay));
    }
  }
  damage = Intersect(damage, {0, 0, m.width, m.height});

  if (!IsEmpty(damage)) {
    LayLayers(composed_.get(), *main_, overlays_, damage);
    cairo_surface_flush(composed_.get());
  }
  composedOrder_ = overlays_;
  composedMainRect_ = m;
  damage_ = {};
  lastDamage_ = damage;
  return composed_.get();
}

}  // namespace platform

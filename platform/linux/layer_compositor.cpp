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
    int first = -1, last = -1;
    for (int x = 0; x < width; ++x) {
      if (row[x] != 0) {
        if (first < 0) first = x;
        last = x;
      }
    }
    if (first < 0) continue;
    left = std::min(left, first);
    right = std::max(right, last);
    top = std::min(top, y);
    bottom = y;
  }
  if (right < 0) return {};
  return {left, top, right - left + 1, bottom - top + 1};
}

}  // namespace

LayerCompositor::~LayerCompositor() {
  if (composed_ != nullptr) cairo_surface_destroy(composed_);
}

WindowObject* LayerCompositor::AddMain(const Rect& rect) {
  windows_.push_back(std::make_unique<WindowObject>());
  main_ = windows_.back().get();
  main_->isMain = true;
  main_->rect = rect;
  contentChanged_ = true;
  return main_;
}

WindowObject* LayerCompositor::AddOverlay() {
  windows_.push_back(std::make_unique<WindowObject>());
  overlays_.push_back(windows_.back().get());
  return overlays_.back();
}

bool LayerCompositor::Owns(WindowHandle window) const {
  for (const auto& owned : windows_) {
    if (owned.get() == window) return true;
  }
  return false;
}

void LayerCompositor::Raise(WindowObject* overlay) {
  if (!overlays_.empty() && overlays_.back() == overlay) return;
  const auto at = std::find(overlays_.begin(), overlays_.end(), overlay);
  if (at == overlays_.end()) return;
  overlays_.erase(at);
  overlays_.push_back(overlay);
}

void LayerCompositor::SetContent(WindowObject* window, std::unique_ptr<CairoSurface> content) {
  window->opaqueBounds = window->isMain || !content ? Rect{} : OpaqueBounds(content->surface());
  window->content = std::move(content);
  contentChanged_ = true;
}

bool LayerCompositor::NeedsCompose() const {
  if (main_ == nullptr) return false;
  if (contentChanged_ || composed_ == nullptr) return true;
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
  if (main_ == nullptr) return nullptr;
  if (!NeedsCompose()) return composed_;
  const Rect& m = main_->rect;
  if (composed_ == nullptr || cairo_image_surface_get_width(composed_) != m.width ||
      cairo_image_surface_get_height(composed_) != m.height) {
    if (composed_ != nullptr) cairo_surface_destroy(composed_);
    composed_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m.width, m.height);
  }
  cairo_t* cr = cairo_create(composed_);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (main_->content) {
    cairo_set_source_surface(cr, main_->content->surface(), 0, 0);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
  }
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  for (WindowObject* overlay : overlays_) {
    overlay->composedDx = overlay->rect.x - m.x;
    overlay->composedDy = overlay->rect.y - m.y;
    const Rect& b = overlay->opaqueBounds;
    if (!overlay->content || b.width <= 0) continue;
    const double dx = overlay->composedDx, dy = overlay->composedDy;
    cairo_set_source_surface(cr, overlay->content->surface(), dx, dy);
    cairo_rectangle(cr, dx + b.x, dy + b.y, b.width, b.height);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(composed_);
  composedOrder_ = overlays_;
  composedMainRect_ = m;
  contentChanged_ = false;
  return composed_;
}

}  // namespace platform

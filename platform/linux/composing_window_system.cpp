#include "platform/linux/composing_window_system.h"

#include <algorithm>
#include <utility>

namespace platform {

void ComposingWindowSystem::SetWindowProcedure(WindowProcedure procedure) {
  procedure_ = std::move(procedure);
}

WindowObject* ComposingWindowSystem::AddMainLayer(int32_t width, int32_t height) {
  return compositor_.AddMain({0, 0, width, height});
}

WindowHandle ComposingWindowSystem::CreateOverlayWindow(WindowHandle /*owner*/) {
  return compositor_.AddOverlay();
}

Rect ComposingWindowSystem::WindowRect(WindowHandle window) const {
  return window == nullptr ? Rect{} : window->rect;
}

void ComposingWindowSystem::SetWindowPos(WindowHandle window, const Rect& rect, bool toTop) {
  if (window == nullptr) return;
  if (window->isMain) {
    const bool moved = rect.x != window->rect.x || rect.y != window->rect.y;
    window->rect = rect;
    MoveMainWindow(rect);
    // SetWindowPos sends WM_MOVE before it returns.
    if (moved) Deliver(window, WindowMessage::Move);
    return;
  }
  window->rect = rect;
  if (toTop) compositor_.Raise(window);
}

void ComposingWindowSystem::Invalidate(WindowHandle window) {
  if (std::find(invalid_.begin(), invalid_.end(), window) == invalid_.end()) {
    invalid_.push_back(window);
  }
}

std::unique_ptr<Surface> ComposingWindowSystem::CreateSurface(int32_t width, int32_t height) {
  return std::make_unique<CairoSurface>(width, height);
}

void ComposingWindowSystem::Present(WindowHandle window, std::unique_ptr<Surface> surface) {
  if (window == nullptr) return;
  fairness_.Presented(window);
  std::unique_ptr<CairoSurface> content(static_cast<CairoSurface*>(surface.release()));
  compositor_.SetContent(window, std::move(content));
}

void ComposingWindowSystem::PostWindowMessage(WindowHandle window, WindowMessage message,
                                              const MessageParams& params) {
  std::lock_guard lock(queueMutex_);
  posted_.push_back({window, message, params, {}});
}

void ComposingWindowSystem::PostTask(std::function<void()> task) {
  std::lock_guard lock(queueMutex_);
  posted_.push_back({nullptr, WindowMessage::Wake, {}, std::move(task)});
}

void ComposingWindowSystem::Deliver(WindowHandle window, WindowMessage message,
                                    const MessageParams& params) {
  if (procedure_) procedure_(window, message, params);
}

bool ComposingWindowSystem::DispatchOwnQueue() {
  Posted item;
  bool have = false;
  {
    std::lock_guard lock(queueMutex_);
    if (!posted_.empty()) {
      item = std::move(posted_.front());
      posted_.pop_front();
      have = true;
    }
  }
  if (have) {
    if (item.task) {
      item.task();
    } else {
      Deliver(item.window, item.message, item.params);
    }
    return true;
  }
  if (invalid_.empty()) return false;
  const WindowHandle window = fairness_.Next(invalid_);
  invalid_.erase(std::find(invalid_.begin(), invalid_.end(), window));
  Deliver(window, WindowMessage::Paint);
  return true;
}

PixelBuffer ComposingWindowSystem::ComposedPixels() {
  cairo_surface_t* composed = compositor_.Compose();
  return composed == nullptr ? PixelBuffer{} : PixelsOf(composed);
}

bool ComposingWindowSystem::WriteComposedPng(const std::string& path) {
  cairo_surface_t* composed = compositor_.Compose();
  return composed != nullptr &&
         cairo_surface_write_to_png(composed, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace platform

#include "tests/support/recording_canvas.h"

namespace testing_support {

// Stands for a real window: only its address is used, as the handle.
struct RecordingWindowSystem::Window {
  platform::Rect rect;
  platform::WindowHandle handle() { return reinterpret_cast<platform::WindowHandle>(this); }
};

RecordingWindowSystem::RecordingWindowSystem() { platform::SetCurrentWindowSystem(this); }

RecordingWindowSystem::~RecordingWindowSystem() { platform::SetCurrentWindowSystem(nullptr); }

void RecordingWindowSystem::SetWindowProcedure(platform::WindowProcedure) {}

platform::WindowHandle RecordingWindowSystem::CreateMainWindow(const std::string&, int32_t width,
                                                               int32_t height,
                                                               const unsigned char*, size_t) {
  windows_.push_back(std::make_unique<Window>());
  windows_.back()->rect = {0, 0, width, height};
  return windows_.back()->handle();
}

platform::WindowHandle RecordingWindowSystem::CreateOverlayWindow(platform::WindowHandle) {
  windows_.push_back(std::make_unique<Window>());
  return windows_.back()->handle();
}

platform::Rect RecordingWindowSystem::WindowRect(platform::WindowHandle window) const {
  for (const auto& w : windows_) {
    if (w->handle() == window) return w->rect;
  }
  return {};
}

void RecordingWindowSystem::SetWindowPos(platform::WindowHandle window, const platform::Rect& rect,
                                         bool) {
  for (const auto& w : windows_) {
    if (w->handle() == window) w->rect = rect;
  }
}

std::unique_ptr<platform::Surface> RecordingWindowSystem::CreateSurface(int32_t width,
                                                                        int32_t height) {
  return std::make_unique<RecordingSurface>(width, height);
}

void RecordingWindowSystem::Present(platform::WindowHandle window,
                                    std::unique_ptr<platform::Surface> surface) {
  presented.push_back(
      {window, std::unique_ptr<RecordingSurface>(static_cast<RecordingSurface*>(surface.release()))});
}

RecordingCanvas* RecordingWindowSystem::LastCanvas(platform::WindowHandle window) {
  for (auto it = presented.rbegin(); it != presented.rend(); ++it) {
    if (it->window == window) return &it->surface->canvas;
  }
  return nullptr;
}

}  // namespace testing_support

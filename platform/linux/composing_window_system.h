#pragma once
// What the GTK and the headless backends share: the layer compositor, the windows' rectangles,
// the queue of posted messages and tasks, and the Win32 order of delivery (events first, then
// posted items, then paint messages once nothing else waits).

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/linux/layer_compositor.h"
#include "platform/paint_fairness.h"
#include "platform/window_system.h"

namespace platform {

class ComposingWindowSystem : public WindowSystem {
 public:
  void SetWindowProcedure(WindowProcedure procedure) override;
  WindowHandle CreateOverlayWindow(WindowHandle owner) override;
  Rect WindowRect(WindowHandle window) const override;
  void SetWindowPos(WindowHandle window, const Rect& rect, bool toTop) override;
  void Invalidate(WindowHandle window) override;
  std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) override;
  void Present(WindowHandle window, std::unique_ptr<Surface> surface) override;
  void PostWindowMessage(WindowHandle window, WindowMessage message,
                         const MessageParams& params) override;
  void PostTask(std::function<void()> task) override;
  PixelBuffer ComposedPixels() override;
  bool WriteComposedPng(const std::string& path) override;

 protected:
  // The main window's layer, sized and placed; for the backend's CreateMainWindow.
  WindowObject* AddMainLayer(int32_t width, int32_t height);
  WindowObject* mainLayer() const { return compositor_.main(); }
  // Delivers one posted item or, failing that, one paint message; false when none waited.
  bool DispatchOwnQueue();
  // Sends a message to the window procedure now.
  void Deliver(WindowHandle window, WindowMessage message, const MessageParams& params = {});
  // The main window's position changed on screen (the backend moves its own window).
  virtual void MoveMainWindow(const Rect& rect) = 0;
  LayerCompositor& compositor() { return compositor_; }

 private:
  struct Posted {
    WindowHandle window = nullptr;
    WindowMessage message = WindowMessage::Wake;
    MessageParams params;
    std::function<void()> task;
  };

  LayerCompositor compositor_;
  WindowProcedure procedure_;
  std::mutex queueMutex_;
  std::deque<Posted> posted_;
  std::vector<WindowHandle> invalid_;  // user-interface thread only
  PaintFairness fairness_;
};

}  // namespace platform

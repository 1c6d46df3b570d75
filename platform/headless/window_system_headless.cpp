// Without a display: the windows exist only as layers of the compositor, so a run composes the
// same pixels as on screen and can write them to a PNG file.

#include "platform/linux/composing_window_system.h"

namespace platform {
namespace {

class HeadlessWindowSystem : public ComposingWindowSystem {
 public:
  explicit HeadlessWindowSystem(float screenScale) : screenScale_(screenScale) {}

  const char* Name() const override { return "headless"; }

  WindowHandle CreateMainWindow(const std::string& /*title*/, int32_t width, int32_t height,
                                const unsigned char* /*iconPng*/, size_t /*iconPngSize*/) override {
    return AddMainLayer(width, height);
  }

  // A fixed screen, so that a headless run centres the splash the same way every time.
  Rect ScreenRect() const override { return {0, 0, 1920, 1080}; }
  float ScreenScale() const override { return screenScale_; }
  void BeginDrag(WindowHandle /*window*/) override {}
  void BringToFront(WindowHandle /*window*/) override {}
  bool PeekAndDispatch() override { return DispatchOwnQueue(); }

 protected:
  void MoveMainWindow(const Rect& /*rect*/) override {}

 private:
  float screenScale_;
};

}  // namespace

std::unique_ptr<WindowSystem> CreateHeadlessWindowSystem(float screenScale) {
  return std::make_unique<HeadlessWindowSystem>(screenScale);
}

}  // namespace platform

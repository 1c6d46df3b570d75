#pragma once
// A canvas that remembers what it was asked to draw, and a window system whose windows are plain
// records, so tests can see what the painter composes, invalidates and presents.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/window_system.h"

namespace testing_support {

struct ImageCall {
  const platform::Image* image = nullptr;
  platform::RectF destination;
  platform::RectF source;
  uint32_t argb = 0;
};

struct StringCall {
  std::string text;
  float x = 0, y = 0;
  std::string family;
  float pixelSize = 0;
  int32_t style = 0;
  uint32_t argb = 0;
};

class RecordingCanvas : public platform::Canvas {
 public:
  void DrawImage(const platform::Image& image, const platform::RectF& destination,
                 const platform::RectF& source, uint32_t argb) override {
    images.push_back({&image, destination, source, argb});
  }
  void DrawString(std::string_view text, float x, float y, std::string_view family,
                  float pixelSize, int32_t style, uint32_t argb) override {
    strings.push_back({std::string(text), x, y, std::string(family), pixelSize, style, argb});
  }
  void SetScale(float factor) override { scale = factor; }

  std::vector<ImageCall> images;
  std::vector<StringCall> strings;
  float scale = 1;
};

class RecordingSurface : public platform::Surface {
 public:
  RecordingSurface(int32_t width, int32_t height) : width_(width), height_(height) {}
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  platform::Canvas& GetCanvas() override { return canvas; }
  platform::PixelBuffer ReadPixels() const override { return {}; }

  RecordingCanvas canvas;

 private:
  int32_t width_;
  int32_t height_;
};

// An image of a given size that draws nothing by itself.
class FakeImage : public platform::Image {
 public:
  FakeImage(int32_t width, int32_t height) : width_(width), height_(height) {}
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }

 private:
  int32_t width_;
  int32_t height_;
};

class RecordingWindowSystem : public platform::WindowSystem {
 public:
  struct Presented {
    platform::WindowHandle window = nullptr;
    std::unique_ptr<RecordingSurface> surface;
  };

  RecordingWindowSystem();
  ~RecordingWindowSystem() override;

  const char* Name() const override { return "recording"; }
  void SetWindowProcedure(platform::WindowProcedure procedure) override;
  platform::WindowHandle CreateMainWindow(const std::string& title, int32_t width, int32_t height,
                                          const unsigned char* iconPng,
                                          size_t iconPngSize) override;
  platform::WindowHandle CreateOverlayWindow(platform::WindowHandle owner) override;
  platform::Rect WindowRect(platform::WindowHandle window) const override;
  platform::Rect ScreenRect() const override { return {0, 0, 1920, 1080}; }
  void SetWindowPos(platform::WindowHandle window, const platform::Rect& rect,
                    bool toTop) override;
  void Invalidate(platform::WindowHandle window) override { invalidated.push_back(window); }
  std::unique_ptr<platform::Surface> CreateSurface(int32_t width, int32_t height) override;
  void Present(platform::WindowHandle window, std::unique_ptr<platform::Surface> surface) override;
  void BeginDrag(platform::WindowHandle window) override { drags.push_back(window); }
  void BringToFront(platform::WindowHandle /*window*/) override {}
  void PostWindowMessage(platform::WindowHandle, platform::WindowMessage,
                         const platform::MessageParams&) override {}
  void PostTask(std::function<void()> task) override { task(); }
  bool PeekAndDispatch() override { return false; }
  platform::PixelBuffer ComposedPixels() override { return {}; }
  bool WriteComposedPng(const std::string&) override { return false; }

  // The canvas of the last surface presented for the window; null when none was.
  RecordingCanvas* LastCanvas(platform::WindowHandle window);

  std::vector<platform::WindowHandle> invalidated;
  std::vector<Presented> presented;
  std::vector<platform::WindowHandle> drags;

 private:
  struct Window;
  std::deque<std::unique_ptr<Window>> windows_;
};

}  // namespace testing_support

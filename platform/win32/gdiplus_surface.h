#pragma once
// GDI+ behind the drawing seam: images decoded from PNG streams, and the off-screen surface of
// one layered window, a 32-bit top-down DIB section in a memory device context with a GDI+
// graphics object on it. The DIB's pixels are premultiplied BGRA, which is what
// UpdateLayeredWindow wants with AC_SRC_ALPHA.

#include <windows.h>
// windows.h first: the GDI+ headers build on its types.
#include <gdiplus.h>

#include <memory>

#include "platform/canvas.h"
#include "platform/win32/unique_handle.h"

namespace platform {

// GDI+ objects that delete themselves, each through its own flat-API call.
struct GdiplusDeleter {
  void operator()(Gdiplus::GpGraphics* graphics) const {
    Gdiplus::DllExports::GdipDeleteGraphics(graphics);
  }
  void operator()(Gdiplus::GpBrush* brush) const { Gdiplus::DllExports::GdipDeleteBrush(brush); }
  void operator()(Gdiplus::GpFont* font) const { Gdiplus::DllExports::GdipDeleteFont(font); }
  void operator()(Gdiplus::GpFontFamily* family) const {
    Gdiplus::DllExports::GdipDeleteFontFamily(family);
  }
  void operator()(Gdiplus::GpImage* image) const { Gdiplus::DllExports::GdipDisposeImage(image); }
  void operator()(Gdiplus::GpImageAttributes* attributes) const {
    Gdiplus::DllExports::GdipDisposeImageAttributes(attributes);
  }
};
template <typename Object>
using GdiplusPtr = std::unique_ptr<Object, GdiplusDeleter>;

class GdiplusImage : public Image {
 public:
  // Null stands for data that did not decode.
  explicit GdiplusImage(GdiplusPtr<Gdiplus::GpImage> image) : image_(std::move(image)) {}

  int32_t Width() const override;
  int32_t Height() const override;
  Gdiplus::GpImage* native() const { return image_.get(); }

 private:
  GdiplusPtr<Gdiplus::GpImage> image_;
};

class GdiplusSurface : public Surface, public Canvas {
 public:
  GdiplusSurface(int32_t width, int32_t height);
  ~GdiplusSurface() override;
  GdiplusSurface(const GdiplusSurface&) = delete;
  GdiplusSurface& operator=(const GdiplusSurface&) = delete;

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  Canvas& GetCanvas() override { return *this; }
  PixelBuffer ReadPixels() const override;

  void DrawImage(const Image& image, const RectF& destination, const RectF& source,
                 uint32_t argb) override;
  void DrawString(std::string_view gbkText, float x, float y, std::string_view gbkFamily,
                  float pixelSize, int32_t style, uint32_t argb) override;
  void SetScale(float factor) override;

  // Ends the drawing: the graphics object is deleted so that every pending GDI+ operation has
  // reached the DIB. Later draws do nothing.
  void FinishDrawing();
  // The memory device context holding the DIB, for UpdateLayeredWindow; null for an empty
  // surface.
  HDC dc() const { return dc_.get(); }
  // The premultiplied pixels, row by row, top row first; null for an empty surface.
  const uint32_t* bits() const { return bits_; }

 private:
  int32_t width_;
  int32_t height_;
  // Declared in the order they are made: they go in reverse, the graphics object first, the
  // device context last.
  UniqueMemoryDc dc_;
  UniqueGdiObject<HBITMAP> bitmap_;
  SelectedObject selection_;
  uint32_t* bits_ = nullptr;  // the bitmap's own memory
  bool scaled_ = false;
  GdiplusPtr<Gdiplus::GpGraphics> graphics_;
};

// Premultiplied 0xAARRGGBB pixels to straight ones.
PixelBuffer StraightPixels(const uint32_t* premultiplied, int32_t width, int32_t height);

// Writes straight ARGB pixels as a PNG file through the GDI+ PNG encoder.
bool WritePngFile(const PixelBuffer& pixels, const std::string& path);

}  // namespace platform

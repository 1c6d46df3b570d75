#pragma once
// Images and surfaces on cairo image surfaces (premultiplied ARGB32), shared by the GTK and the
// headless backends.

#include <cairo.h>

#include <mutex>
#include <vector>

#include "platform/canvas.h"
#include "platform/linux/cairo_ptr.h"

namespace platform {

// Decoded at its first drawing, not when made: the splash's artwork is made before the update
// check starts, and decoding it there would hold the check back. The size comes from the PNG
// header; an image whose pixels then fail to decode draws nothing.
class CairoImage : public Image {
 public:
  // An image that does not decode: 0 x 0, draws nothing.
  CairoImage() = default;
  CairoImage(std::vector<unsigned char> png, int32_t width, int32_t height);
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  // The ARGB32 pixels, decoded on the first call; null when the data does not decode.
  cairo_surface_t* surface() const;

 private:
  mutable std::vector<unsigned char> png_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  mutable std::once_flag decodeOnce_;
  mutable CairoPtr<cairo_surface_t> surface_;
};

class CairoSurface : public Surface, public Canvas {
 public:
  CairoSurface(int32_t width, int32_t height);
  ~CairoSurface() override;
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  Canvas& GetCanvas() override { return *this; }
  PixelBuffer ReadPixels() const override;

  void DrawImage(const Image& image, const RectF& destination, const RectF& source,
                 uint32_t argb) override;
  void DrawString(std::string_view gbkText, float x, float y, std::string_view gbkFamily,
                  float pixelSize, int32_t style, uint32_t argb) override;
  void SetScale(float factor) override;

  cairo_surface_t* surface() const { return surface_.get(); }

 private:
  int32_t width_;
  int32_t height_;
  // The context draws on the surface: declared after it, it goes first.
  CairoPtr<cairo_surface_t> surface_;
  CairoPtr<cairo_t> cr_;
  double scale_ = 1;
};

// Straight ARGB pixels of an ARGB32 image surface.
PixelBuffer PixelsOf(cairo_surface_t* surface);
// Multiplies every pixel of the ARGB32 surface by the colour matrix of argb (premultiplied
// pixels: colours by channel * alpha factor, alpha by the alpha factor).
void ApplyColorMatrix(cairo_surface_t* surface, uint32_t argb);

}  // namespace platform

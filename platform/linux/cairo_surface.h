#pragma once
// Images and surfaces on cairo image surfaces (premultiplied ARGB32), shared by the GTK and the
// headless backends.

#include <cairo.h>

#include "platform/canvas.h"

namespace platform {

class CairoImage : public Image {
 public:
  explicit CairoImage(cairo_surface_t* surface) : surface_(surface) {}
  ~CairoImage() override;
  int32_t Width() const override;
  int32_t Height() const override;
  // Null when the data could not be decoded.
  cairo_surface_t* surface() const { return surface_; }

 private:
  cairo_surface_t* surface_;
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

  cairo_surface_t* surface() const { return surface_; }

 private:
  int32_t width_;
  int32_t height_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

// Straight ARGB pixels of an ARGB32 image surface.
PixelBuffer PixelsOf(cairo_surface_t* surface);
// Multiplies every pixel of the ARGB32 surface by the colour matrix of argb (premultiplied
// pixels: colours by channel * alpha factor, alpha by the alpha factor).
void ApplyColorMatrix(cairo_surface_t* surface, uint32_t argb);

}  // namespace platform

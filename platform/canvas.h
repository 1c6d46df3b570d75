#pragma once
// Drawing for the painter: decoded images, an off-screen surface per composition and the canvas
// that draws into it (the GDI+ graphics object of the Windows build; cairo on Linux).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RectF {
  float x = 0, y = 0, width = 0, height = 0;
};

// Drawing into or from a rectangle without area draws nothing (a NaN size has none either).
inline bool HasArea(const RectF& r) { return r.width > 0 && r.height > 0; }

// Straight (not premultiplied) ARGB pixels, row by row, for checks and screenshots.
struct PixelBuffer {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;
  uint32_t At(int32_t x, int32_t y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

// An image. One whose data is no image exists all the same, 0 x 0 in size, and draws nothing.
// A backend may decode the pixels when the image is first drawn; pixels that then fail to decode
// draw nothing.
class Image {
 public:
  virtual ~Image() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
};

// PNG bytes (8-bit RGBA or anything else the codec reads) as an image. Never null.
std::unique_ptr<Image> DecodePngImage(const unsigned char* data, size_t size);

class Canvas {
 public:
  virtual ~Canvas() = default;
  // Draws the source rectangle of the image (image pixels) scaled into the destination
  // rectangle, each channel multiplied by the matching byte of argb / 255 (alpha too).
  virtual void DrawImage(const Image& image, const RectF& destination, const RectF& source,
                         uint32_t argb) = 0;
  // Draws text (GBK bytes) with its layout box's top-left corner at (x, y), no wrapping.
  // style: bit 0 bold, bit 1 italic. A size that is not positive draws nothing.
  virtual void DrawString(std::string_view gbkText, float x, float y, std::string_view gbkFamily,
                          float pixelSize, int32_t style, uint32_t argb) = 0;
  // Magnifies what is drawn afterwards by the factor (x and y alike, about the origin): text is
  // laid out at the larger size, images are resampled with a high-quality filter. Never called
  // at factor 1, which draws as before.
  virtual void SetScale(float factor) = 0;
};

// A fully transparent off-screen surface of one window's size.
class Surface {
 public:
  virtual ~Surface() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual Canvas& GetCanvas() = 0;
  virtual PixelBuffer ReadPixels() const = 0;
};

// Reads a PNG file into straight ARGB pixels; empty when it cannot be read.
PixelBuffer ReadPngFile(const std::string& path);

}  // namespace platform

// PNG data to GDI+ images through a stream over movable global memory, and PNG files read and
// written for screenshots and checks.

#include <objbase.h>

#include <cstring>
#include <vector>

#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/wide_text.h"

using namespace Gdiplus::DllExports;

namespace platform {
namespace {

// The GDI+ codec that writes PNG files.
constexpr CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x75, 0xae, 0x2e}};

}  // namespace

int32_t GdiplusImage::Width() const {
  UINT width = 0;
  if (image_ == nullptr || GdipGetImageWidth(image_.get(), &width) != Gdiplus::Ok) return 0;
  return static_cast<int32_t>(width);
}

int32_t GdiplusImage::Height() const {
  UINT height = 0;
  if (image_ == nullptr || GdipGetImageHeight(image_.get(), &height) != Gdiplus::Ok) return 0;
  return static_cast<int32_t>(height);
}

std::unique_ptr<Image> DecodePngImage(const unsigned char* data, size_t size) {
  if (data == nullptr || size == 0) return std::make_unique<GdiplusImage>(nullptr);
  // The image reads from the stream for as long as it lives; the stream owns the block
  // (delete-on-release) and the image holds its own reference to the stream.
  UniqueGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  if (!block) return std::make_unique<GdiplusImage>(nullptr);
  void* bytes = GlobalLock(block.get());
  if (bytes == nullptr) return std::make_unique<GdiplusImage>(nullptr);
  std::memcpy(bytes, data, size);
  GlobalUnlock(block.get());
  IStream* created = nullptr;
  if (CreateStreamOnHGlobal(block.get(), TRUE, &created) != S_OK) {
    return std::make_unique<GdiplusImage>(nullptr);
  }
  // Freed with the stream's last reference from here on.
  block.release();
  const ComPtr<IStream> stream(created);
  Gdiplus::GpImage* image = nullptr;
  if (GdipLoadImageFromStream(stream.get(), &image) != Gdiplus::Ok) image = nullptr;
  return std::make_unique<GdiplusImage>(GdiplusPtr<Gdiplus::GpImage>(image));
}

PixelBuffer StraightPixels(const uint32_t* premultiplied, int32_t width, int32_t height) {
  PixelBuffer pixels;
  if (premultiplied == nullptr || width <= 0 || height <= 0) return pixels;
  pixels.width = width;
  pixels.height = height;
  pixels.argb.resize(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.argb.size(); ++i) {
    const uint32_t p = premultiplied[i];
    const uint32_t a = p >> 24;
    uint32_t out = 0;
    if (a == 255) {
      out = p;
    } else if (a != 0) {
      auto un = [&](int shift) {
        const uint32_t c = (((p >> shift) & 0xFF) * 255 + a / 2) / a;
        return c > 255 ? 255u : c;
      };
      out = (a << 24) | (un(16) << 16) | (un(8) << 8) | un(0);
    }
    pixels.argb[i] = out;
  }
  return pixels;
}

PixelBuffer ReadPngFile(const std::string& path) {
  PixelBuffer pixels;
  Gdiplus::GpBitmap* created = nullptr;
  if (GdipCreateBitmapFromFile(AnsiToWide(path).c_str(), &created) != Gdiplus::Ok) return pixels;
  const GdiplusPtr<Gdiplus::GpBitmap> bitmap(created);
  UINT width = 0, height = 0;
  GdipGetImageWidth(bitmap.get(), &width);
  GdipGetImageHeight(bitmap.get(), &height);
  const Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data{};
  if (width > 0 && height > 0 &&
      GdipBitmapLockBits(bitmap.get(), &all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                         &data) == Gdiplus::Ok) {
    pixels.width = static_cast<int32_t>(width);
    pixels.height = static_cast<int32_t>(height);
    pixels.argb.resize(static_cast<size_t>(width) * height);
    for (UINT y = 0; y < height; ++y) {
      const auto* row = static_cast<const unsigned char*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
      std::memcpy(&pixels.argb[static_cast<size_t>(y) * width], row, width * sizeof(uint32_t));
    }
    GdipBitmapUnlockBits(bitmap.get(), &data);
  }
  return pixels;
}

bool WritePngFile(const PixelBuffer& pixels, const std::string& path) {
  if (pixels.width <= 0 || pixels.height <= 0) return false;
  std::vector<uint32_t> copy = pixels.argb;
  Gdiplus::GpBitmap* created = nullptr;
  if (GdipCreateBitmapFromScan0(pixels.width, pixels.height, pixels.width * 4, PixelFormat32bppARGB,
                                reinterpret_cast<BYTE*>(copy.data()), &created) != Gdiplus::Ok) {
    return false;
  }
  // Deleted before the pixels it was made over.
  const GdiplusPtr<Gdiplus::GpBitmap> bitmap(created);
  return GdipSaveImageToFile(bitmap.get(), AnsiToWide(path).c_str(), &kPngEncoder, nullptr) ==
         Gdiplus::Ok;
}

}  // namespace platform

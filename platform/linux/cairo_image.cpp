#include <cstring>
#include <utility>
#include <vector>

#include "platform/linux/cairo_surface.h"

namespace platform {
namespace {

struct ByteReader {
  const unsigned char* data;
  size_t size;
  size_t offset;
};

cairo_status_t ReadBytes(void* closure, unsigned char* out, unsigned int length) {
  auto* reader = static_cast<ByteReader*>(closure);
  if (reader->size - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

// The size from the IHDR chunk, which a PNG must carry first; false for anything else.
bool ReadPngHeaderSize(const unsigned char* data, size_t size, int32_t& width, int32_t& height) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data == nullptr || size < 33 || std::memcmp(data, kSignature, 8) != 0) return false;
  if (std::memcmp(data + 12, "IHDR", 4) != 0) return false;
  const auto big32 = [](const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  };
  const uint32_t w = big32(data + 16), h = big32(data + 20);
  // Beyond what a cairo image surface can hold, the image could never be drawn.
  if (w == 0 || h == 0 || w > 32767 || h > 32767) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

CairoPtr<cairo_surface_t> DecodeToArgb(const std::vector<unsigned char>& png) {
  ByteReader reader{png.data(), png.size(), 0};
  CairoPtr<cairo_surface_t> surface(
      cairo_image_surface_create_from_png_stream(ReadBytes, &reader));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  // Every drawing path expects ARGB32; a PNG without alpha decodes to RGB24.
  if (cairo_image_surface_get_format(surface.get()) != CAIRO_FORMAT_ARGB32) {
    CairoPtr<cairo_surface_t> argb(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(surface.get()),
        cairo_image_surface_get_height(surface.get())));
    {
      const CairoPtr<cairo_t> cr(cairo_create(argb.get()));
      cairo_set_source_surface(cr.get(), surface.get(), 0, 0);
      cairo_paint(cr.get());
    }
    surface = std::move(argb);
  }
  return surface;
}

}  // namespace

CairoImage::CairoImage(std::vector<unsigned char> png, int32_t width, int32_t height)
    : png_(std::move(png)), width_(width), height_(height) {}

cairo_surface_t* CairoImage::surface() const {
  std::call_once(decodeOnce_, [this] {
    if (png_.empty()) return;
    surface_ = DecodeToArgb(png_);
    // A header that promised another size than the pixels have: trust neither.
    if (surface_ != nullptr && (cairo_image_surface_get_width(surface_.get()) != width_ ||
                                cairo_image_surface_get_height(surface_.get()) != height_)) {
      surface_.reset();
    }
    std::vector<unsigned char>().swap(png_);
  });
  return surface_.get();
}

std::unique_ptr<Image> DecodePngImage(const unsigned char* data, size_t size) {
  int32_t width = 0, height = 0;
  if (!ReadPngHeaderSize(data, size, width, height)) return std::make_unique<CairoImage>();
  return std::make_unique<CairoImage>(std::vector<unsigned char>(data, data + size), width,
                                      height);
}

PixelBuffer PixelsOf(cairo_surface_t* surface) {
  PixelBuffer pixels;
  cairo_surface_flush(surface);
  pixels.width = cairo_image_surface_get_width(surface);
  pixels.height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const bool hasAlpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
  pixels.argb.resize(static_cast<size_t>(pixels.width) * pixels.height);
  for (int32_t y = 0; y < pixels.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int32_t x = 0; x < pixels.width; ++x) {
      uint32_t p = row[x];
      if (!hasAlpha) p |= 0xFF000000u;
      const uint32_t a = p >> 24;
      uint32_t out = 0;
      if (a == 255) {
        out = p;
      } else if (a != 0) {
        auto un = [&](int shift) { return ((((p >> shift) & 0xFF) * 255 + a / 2) / a) & 0xFF; };
        out = (a << 24) | (un(16) << 16) | (un(8) << 8) | un(0);
      }
      pixels.argb[static_cast<size_t>(y) * pixels.width + x] = out;
    }
  }
  return pixels;
}

PixelBuffer ReadPngFile(const std::string& path) {
  const CairoPtr<cairo_surface_t> surface(cairo_image_surface_create_from_png(path.c_str()));
  PixelBuffer pixels;
  if (cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS) pixels = PixelsOf(surface.get());
  return pixels;
}

}  // namespace platform

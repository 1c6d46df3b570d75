// The layered window's off-screen surface and the GDI+ drawing on it: scaled, colour-matrix
// tinted image pieces and labels in a fixed font family.

#include <string>

#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/wide_text.h"

using namespace Gdiplus::DllExports;

namespace platform {
namespace {

// Only what comes before a zero unit is drawn, as if the text were a C string. Labels show
// built-in texts and ASCII numbers and units, and the face is named in GBK: decoded as GBK on
// every code page, since under any other the face's name is garbage, no family is found and not
// even the ASCII sizes are drawn.
std::wstring GbkToWideUpToZero(std::string_view text) {
  std::wstring wide = GbkToWide(text);
  const size_t zero = wide.find(L'\0');
  if (zero != std::wstring::npos) wide.resize(zero);
  return wide;
}

}  // namespace

GdiplusSurface::GdiplusSurface(int32_t width, int32_t height)
    : width_(width < 0 ? 0 : width), height_(height < 0 ? 0 : height) {
  if (width_ == 0 || height_ == 0) return;
  {
    const UniqueScreenDc screen(GetDC(nullptr));
    dc_.reset(CreateCompatibleDC(screen.get()));
  }
  if (!dc_) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  // A DIB section starts zeroed: fully transparent.
  bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_) return;
  bits_ = static_cast<uint32_t*>(bits);
  selection_ = SelectedObject(dc_.get(), bitmap_.get());
  Gdiplus::GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(dc_.get(), &graphics) == Gdiplus::Ok) graphics_.reset(graphics);
}

GdiplusSurface::~GdiplusSurface() { FinishDrawing(); }

void GdiplusSurface::FinishDrawing() {
  if (graphics_ == nullptr) return;
  GdipFlush(graphics_.get(), Gdiplus::FlushIntentionSync);
  graphics_.reset();
  GdiFlush();
}

PixelBuffer GdiplusSurface::ReadPixels() const {
  if (graphics_ != nullptr) GdipFlush(graphics_.get(), Gdiplus::FlushIntentionSync);
  GdiFlush();
  return StraightPixels(bits_, width_, height_);
}

void GdiplusSurface::DrawImage(const Image& image, const RectF& destination, const RectF& source,
                               uint32_t argb) {
  Gdiplus::GpImage* native = static_cast<const GdiplusImage&>(image).native();
  if (graphics_ == nullptr || native == nullptr || !HasArea(destination) || !HasArea(source)) {
    return;
  }
  // A diagonal matrix: each channel scaled by its byte of the colour; opaque white is the
  // identity.
  Gdiplus::ColorMatrix matrix{};
  matrix.m[0][0] = static_cast<Gdiplus::REAL>((argb >> 16) & 0xFF) / 255.0f;
  matrix.m[1][1] = static_cast<Gdiplus::REAL>((argb >> 8) & 0xFF) / 255.0f;
  matrix.m[2][2] = static_cast<Gdiplus::REAL>(argb & 0xFF) / 255.0f;
  matrix.m[3][3] = static_cast<Gdiplus::REAL>(argb >> 24) / 255.0f;
  matrix.m[4][4] = 1.0f;
  Gdiplus::GpImageAttributes* created = nullptr;
  if (GdipCreateImageAttributes(&created) != Gdiplus::Ok) return;
  const GdiplusPtr<Gdiplus::GpImageAttributes> attributes(created);
  GdipSetImageAttributesColorMatrix(attributes.get(), Gdiplus::ColorAdjustTypeDefault, TRUE,
                                    &matrix, nullptr, Gdiplus::ColorMatrixFlagsDefault);
  // The resampling filter reaches past the source rectangle; outside the image it would read
  // transparency and fade the edges of every nine-slice piece. Mirrored pixels keep them solid.
  if (scaled_) {
    GdipSetImageAttributesWrapMode(attributes.get(), Gdiplus::WrapModeTileFlipXY, 0, FALSE);
  }
  GdipDrawImageRectRect(graphics_.get(), native, destination.x, destination.y, destination.width,
                        destination.height, source.x, source.y, source.width, source.height,
                        Gdiplus::UnitPixel, attributes.get(), nullptr, nullptr);
}

void GdiplusSurface::SetScale(float factor) {
  if (graphics_ == nullptr) return;
  scaled_ = true;
  GdipScaleWorldTransform(graphics_.get(), factor, factor, Gdiplus::MatrixOrderPrepend);
  // The artwork is resampled with the best filter GDI+ has; pixel centres at half-pixel offsets
  // keep a scaled image on the rectangle it is scaled into instead of half a pixel up and left.
  GdipSetInterpolationMode(graphics_.get(), Gdiplus::InterpolationModeHighQualityBicubic);
  GdipSetPixelOffsetMode(graphics_.get(), Gdiplus::PixelOffsetModeHighQuality);
}

void GdiplusSurface::DrawString(std::string_view gbkText, float x, float y,
                                std::string_view gbkFamily, float pixelSize, int32_t style,
                                uint32_t argb) {
  if (graphics_ == nullptr || gbkText.empty() || !(pixelSize > 0)) return;
  const std::wstring text = GbkToWideUpToZero(gbkText);
  const std::wstring familyName = GbkToWideUpToZero(gbkFamily);
  if (text.empty()) return;
  Gdiplus::GpFontFamily* createdFamily = nullptr;
  if (GdipCreateFontFamilyFromName(familyName.c_str(), nullptr, &createdFamily) != Gdiplus::Ok) {
    return;
  }
  const GdiplusPtr<Gdiplus::GpFontFamily> family(createdFamily);
  Gdiplus::GpFont* createdFont = nullptr;
  if (GdipCreateFont(family.get(), pixelSize, style, Gdiplus::UnitPixel, &createdFont) !=
      Gdiplus::Ok) {
    return;
  }
  const GdiplusPtr<Gdiplus::GpFont> font(createdFont);
  Gdiplus::GpSolidFill* createdBrush = nullptr;
  if (GdipCreateSolidFill(argb, &createdBrush) != Gdiplus::Ok) return;
  const GdiplusPtr<Gdiplus::GpSolidFill> brush(createdBrush);
  // A zero-sized layout box: no wrapping and no clipping.
  const Gdiplus::RectF layout(x, y, 0.0f, 0.0f);
  GdipDrawString(graphics_.get(), text.c_str(), static_cast<INT>(text.size()), font.get(), &layout,
                 nullptr, brush.get());
}

}  // namespace platform

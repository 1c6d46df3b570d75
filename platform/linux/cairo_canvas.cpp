#include <pango/pangocairo.h>

#include <cmath>
#include <string>

#include "platform/linux/cairo_surface.h"
#include "platform/linux/label_fonts.h"
#include "platform/text_encoding.h"

namespace platform {
namespace {

// The pattern that maps the source rectangle of the image onto the destination rectangle (given
// in the coordinates of the surface drawn on). Padding the edges keeps the filter from pulling in
// pixels from outside the source rectangle, so nine-slice pieces do not bleed. On a scaled
// surface the artwork is resampled with cairo's better filter.
CairoPtr<cairo_pattern_t> PiecePattern(cairo_surface_t* piece, const RectF& destination,
                                       const RectF& source, bool scaled) {
  CairoPtr<cairo_pattern_t> pattern(cairo_pattern_create_for_surface(piece));
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(pattern.get(), scaled ? CAIRO_FILTER_GOOD : CAIRO_FILTER_BILINEAR);
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, source.width / destination.width,
                          source.height / destination.height);
  cairo_matrix_translate(&m, -destination.x, -destination.y);
  cairo_pattern_set_matrix(pattern.get(), &m);
  return pattern;
}

}  // namespace

CairoSurface::CairoSurface(int32_t width, int32_t height)
    : width_(width < 0 ? 0 : width),
      height_(height < 0 ? 0 : height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_)),
      cr_(cairo_create(surface_.get())) {}

CairoSurface::~CairoSurface() = default;

PixelBuffer CairoSurface::ReadPixels() const { return PixelsOf(surface_.get()); }

void ApplyColorMatrix(cairo_surface_t* surface, uint32_t argb) {
  cairo_surface_flush(surface);
  const uint32_t ca = argb >> 24, cr = (argb >> 16) & 0xFF, cg = (argb >> 8) & 0xFF,
                 cb = argb & 0xFF;
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  // In premultiplied form a colour channel carries the alpha too: c * alpha becomes
  // (c * cc/255) * (alpha * ca/255).
  const uint32_t denominator = 255u * 255u;
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = row[x];
      if (p == 0) continue;
      const uint32_t a = ((p >> 24) * ca + 127) / 255;
      const uint32_t r = (((p >> 16) & 0xFF) * cr * ca + denominator / 2) / denominator;
      const uint32_t g = (((p >> 8) & 0xFF) * cg * ca + denominator / 2) / denominator;
      const uint32_t b = ((p & 0xFF) * cb * ca + denominator / 2) / denominator;
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
}

void CairoSurface::DrawImage(const Image& image, const RectF& destination, const RectF& source,
                             uint32_t argb) {
  cairo_surface_t* pixels = static_cast<const CairoImage&>(image).surface();
  if (pixels == nullptr || !HasArea(destination) || !HasArea(source) || (argb >> 24) == 0) return;
  const CairoPtr<cairo_surface_t> piece(
      cairo_surface_create_for_rectangle(pixels, source.x, source.y, source.width, source.height));

  if (argb == 0xFFFFFFFFu) {
    const CairoPtr<cairo_pattern_t> pattern =
        PiecePattern(piece.get(), destination, source, scale_ != 1);
    cairo_t* cr = cr_.get();
    cairo_rectangle(cr, destination.x, destination.y, destination.width, destination.height);
    cairo_set_source(cr, pattern.get());
    cairo_fill(cr);
    return;
  }

  // Tinted: scale the piece into a scratch surface covering the destination, apply the matrix
  // there, and lay the result over the surface. The scratch has the surface's density, so a
  // scaled surface gets it pixel for pixel.
  const double left = std::floor(destination.x), top = std::floor(destination.y);
  const int w = static_cast<int>(std::ceil(destination.x + destination.width) - left);
  const int h = static_cast<int>(std::ceil(destination.y + destination.height) - top);
  const CairoPtr<cairo_surface_t> scratch(cairo_image_surface_create(
      CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil(w * scale_)),
      static_cast<int>(std::ceil(h * scale_))));
  cairo_surface_set_device_scale(scratch.get(), scale_, scale_);
  const RectF local{destination.x - static_cast<float>(left),
                    destination.y - static_cast<float>(top), destination.width,
                    destination.height};
  {
    // The drawing context goes before the pixels are changed directly.
    const CairoPtr<cairo_t> scratchCr(cairo_create(scratch.get()));
    const CairoPtr<cairo_pattern_t> pattern = PiecePattern(piece.get(), local, source, scale_ != 1);
    cairo_rectangle(scratchCr.get(), local.x, local.y, local.width, local.height);
    cairo_set_source(scratchCr.get(), pattern.get());
    cairo_fill(scratchCr.get());
  }
  ApplyColorMatrix(scratch.get(), argb);
  cairo_set_source_surface(cr_.get(), scratch.get(), left, top);
  cairo_paint(cr_.get());
}

void CairoSurface::SetScale(float factor) {
  scale_ = factor;
  cairo_scale(cr_.get(), factor, factor);
}

void CairoSurface::DrawString(std::string_view gbkText, float x, float y,
                              std::string_view gbkFamily, float pixelSize, int32_t style,
                              uint32_t argb) {
  if (gbkText.empty() || !(pixelSize > 0)) return;
  const std::string text = GbkToUtf8(gbkText);
  const std::string family = GbkToUtf8(gbkFamily);

  cairo_t* cr = cr_.get();
  const GObjectPtr<PangoContext> context(pango_font_map_create_context(LabelFontMap()));
  pango_cairo_update_context(cr, context.get());
  const GObjectPtr<PangoLayout> layout(pango_layout_new(context.get()));
  pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
  const UniqueFontDescription font(pango_font_description_new());
  pango_font_description_set_family(font.get(), family.c_str());
  pango_font_description_set_absolute_size(font.get(), pixelSize * PANGO_SCALE);
  pango_font_description_set_weight(font.get(),
                                    (style & 1) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(font.get(),
                                   (style & 2) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout.get(), font.get());

  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout.get());
}

}  // namespace platform

// Draws the launcher's artwork with cairo and writes it as 8-bit RGBA PNG files (and the icon as
// an .ico holding a PNG). Everything is shapes and gradients with fixed parameters, so a run
// gives the same files on every machine with the same cairo; no fonts are involved.
//
//   make_artwork OUTPUT_DIR

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

// A small linear congruential generator: the same star field on every run.
struct Lcg {
  uint32_t state;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 16777216.0;
  }
};

// Horizontal bands of waves from y0 downwards, darker towards the bottom.
void Waves(cairo_t* cr, double x0, double width, double y0, double height, int bands, double phase) {
  for (int i = 0; i < bands; ++i) {
    const double top = y0 + height * i / bands;
    const double amp = 3.0 + i * 1.5;
    const double len = 70.0 + i * 22.0;
    cairo_move_to(cr, x0, top + height);
    for (double x = x0; x <= x0 + width + 1; x += 2) {
      cairo_line_to(cr, x, top + amp * std::sin((x + phase * (i + 1)) * 2 * kPi / len));
    }
    cairo_line_to(cr, x0 + width, y0 + height + 40);
    cairo_line_to(cr, x0, y0 + height + 40);
    cairo_close_path(cr);
    const double shade = 1.0 - 0.13 * i;
    cairo_set_source_rgba(cr, 0.10 * shade, 0.38 * shade, 0.55 * shade, 0.55 + 0.09 * i);
    cairo_fill(cr);
  }
}

cairo_surface_t* Background() {
  const int w = 740, h = 328;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  const double px = 40, py = 16, pw = 680, ph = 304, radius = 18;
  RoundedRect(cr, px, py, pw, ph, radius);
  cairo_save(cr);
  cairo_clip(cr);
  cairo_pattern_t* sky = cairo_pattern_create_linear(0, py, 0, py + ph);
  cairo_pattern_add_color_stop_rgb(sky, 0.0, 0.04, 0.07, 0.19);
  cairo_pattern_add_color_stop_rgb(sky, 0.55, 0.10, 0.27, 0.42);
  cairo_pattern_add_color_stop_rgb(sky, 1.0, 0.02, 0.10, 0.18);
  cairo_set_source(cr, sky);
  cairo_paint(cr);
  cairo_pattern_destroy(sky);

  Lcg lcg{20250101u};
  for (int i = 0; i < 90; ++i) {
    const double sx = px + lcg.Next() * pw, sy = py + lcg.Next() * ph * 0.5;
    const double sr = 0.4 + lcg.Next() * 0.9;
    cairo_arc(cr, sx, sy, sr, 0, 2 * kPi);
    cairo_set_source_rgba(cr, 0.9, 0.95, 1.0, 0.35 + lcg.Next() * 0.6);
    cairo_fill(cr);
  }

  // The moon and its glow.
  cairo_pattern_t* glow = cairo_pattern_create_radial(560, 86, 10, 560, 86, 90);
  cairo_pattern_add_color_stop_rgba(glow, 0, 1.0, 0.96, 0.80, 0.45);
  cairo_pattern_add_color_stop_rgba(glow, 1, 1.0, 0.96, 0.80, 0.0);
  cairo_set_source(cr, glow);
  cairo_paint(cr);
  cairo_pattern_destroy(glow);
  cairo_arc(cr, 560, 86, 26, 0, 2 * kPi);
  cairo_set_source_rgb(cr, 0.98, 0.95, 0.83);
  cairo_fill(cr);

  Waves(cr, px, pw, 168, 90, 5, 17);

  // A darker strip behind the progress bar and the advisory lines.
  cairo_pattern_t* strip = cairo_pattern_create_linear(0, 240, 0, py + ph);
  cairo_pattern_add_color_stop_rgba(strip, 0, 0.0, 0.03, 0.08, 0.0);
  cairo_pattern_add_color_stop_rgba(strip, 0.35, 0.0, 0.03, 0.08, 0.75);
  cairo_pattern_add_color_stop_rgba(strip, 1, 0.0, 0.03, 0.08, 0.92);
  cairo_set_source(cr, strip);
  cairo_rectangle(cr, px, 240, pw, py + ph - 240);
  cairo_fill(cr);
  cairo_restore(cr);

  RoundedRect(cr, px + 1, py + 1, pw - 2, ph - 2, radius - 1);
  cairo_set_source_rgba(cr, 0.55, 0.78, 0.92, 0.8);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_destroy(cr);
  return s;
}

// A badge with three breaking waves.
cairo_surface_t* Logo() {
  const int w = 153, h = 86;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  RoundedRect(cr, 3, 3, w - 6, h - 6, 14);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.96, 0.78, 0.32);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.74, 0.45, 0.12);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(g);
  cairo_set_source_rgba(cr, 1, 0.97, 0.88, 0.95);
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i < 3; ++i) {
    const double y = 30 + i * 15;
    cairo_move_to(cr, 22, y);
    cairo_curve_to(cr, 50, y - 16, 72, y + 14, 100, y - 2);
    cairo_curve_to(cr, 112, y - 9, 124, y - 6, 132, y + 2);
    cairo_set_source_rgba(cr, 0.08, 0.20, 0.36, 1.0 - 0.2 * i);
    cairo_set_line_width(cr, 6 - i);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  return s;
}

// A framed card with a sailing boat.
cairo_surface_t* Banner() {
  const int w = 261, h = 123;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  RoundedRect(cr, 2, 2, w - 4, h - 4, 12);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, w, h);
  cairo_pattern_add_color_stop_rgba(g, 0, 0.18, 0.52, 0.66, 0.92);
  cairo_pattern_add_color_stop_rgba(g, 1, 0.06, 0.20, 0.40, 0.92);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(g);
  cairo_save(cr);
  cairo_clip_preserve(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
  for (int x = -h; x < w; x += 18) {
    cairo_move_to(cr, x, h);
    cairo_line_to(cr, x + h, 0);
    cairo_line_to(cr, x + h + 8, 0);
    cairo_line_to(cr, x + 8, h);
    cairo_close_path(cr);
  }
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_set_source_rgba(cr, 0.85, 0.95, 1.0, 0.9);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  // Hull, mast and sails.
  cairo_move_to(cr, 90, 88);
  cairo_line_to(cr, 176, 88);
  cairo_line_to(cr, 162, 102);
  cairo_line_to(cr, 102, 102);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.35, 0.20, 0.10);
  cairo_fill(cr);
  cairo_rectangle(cr, 131, 22, 3, 66);
  cairo_fill(cr);
  cairo_move_to(cr, 136, 24);
  cairo_line_to(cr, 172, 82);
  cairo_line_to(cr, 136, 82);
  cairo_close_path(cr);
  cairo_move_to(cr, 128, 32);
  cairo_line_to(cr, 128, 82);
  cairo_line_to(cr, 98, 82);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.97, 0.95, 0.88);
  cairo_fill(cr);
  Waves(cr, 2, w - 4, 100, 16, 2, 5);
  cairo_destroy(cr);
  return s;
}

// The light-green rounded piece of the progress fill.
cairo_surface_t* ProgressFill() {
  const int w = 18, h = 15;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 6.5);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.74, 0.98, 0.62);
  cairo_pattern_add_color_stop_rgb(g, 0.5, 0.50, 0.90, 0.42);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.32, 0.72, 0.30);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_destroy(cr);
  return s;
}

// The dark slate-blue rounded piece of the empty track.
cairo_surface_t* ProgressTrack() {
  const int w = 35, h = 11;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 5);
  cairo_set_source_rgb(cr, 0.20, 0.24, 0.42);
  cairo_fill_preserve(cr);
  cairo_set_source_rgba(cr, 0.45, 0.52, 0.75, 0.9);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_destroy(cr);
  return s;
}

// A cross in a translucent disc.
cairo_surface_t* CloseButton() {
  const int w = 49, h = 49;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_arc(cr, 24.5, 24.5, 22, 0, 2 * kPi);
  cairo_set_source_rgba(cr, 0.02, 0.06, 0.14, 0.7);
  cairo_fill_preserve(cr);
  cairo_set_source_rgba(cr, 0.80, 0.90, 1.0, 0.9);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 4);
  cairo_move_to(cr, 16, 16);
  cairo_line_to(cr, 33, 33);
  cairo_move_to(cr, 33, 16);
  cairo_line_to(cr, 16, 33);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_stroke(cr);
  cairo_destroy(cr);
  return s;
}

cairo_surface_t* Icon() {
  const int w = 48, h = 48;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  RoundedRect(cr, 2, 2, 44, 44, 10);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.10, 0.30, 0.55);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.03, 0.10, 0.25);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i < 2; ++i) {
    const double y = 22 + i * 10;
    cairo_move_to(cr, 9, y);
    cairo_curve_to(cr, 18, y - 8, 26, y + 7, 39, y - 3);
    cairo_set_source_rgb(cr, 0.96, 0.78 - 0.2 * i, 0.32);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  return s;
}

struct PngBytes {
  std::vector<unsigned char> bytes;
};

cairo_status_t Collect(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<PngBytes*>(closure);
  out->bytes.insert(out->bytes.end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool WritePng(cairo_surface_t* surface, const std::string& path, std::vector<unsigned char>* copy) {
  PngBytes png;
  cairo_surface_flush(surface);
  const bool encoded = cairo_surface_write_to_png_stream(surface, Collect, &png) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!encoded || !WriteBytes(path, png.bytes)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  if (copy != nullptr) *copy = png.bytes;
  return true;
}

// An .ico whose one image is the PNG itself (accepted since Windows Vista).
std::vector<unsigned char> IcoFromPng(const std::vector<unsigned char>& png, int size) {
  std::vector<unsigned char> ico = {0, 0, 1, 0, 1, 0};
  auto put16 = [&](unsigned v) { ico.push_back(v & 0xFF); ico.push_back((v >> 8) & 0xFF); };
  auto put32 = [&](unsigned v) { put16(v & 0xFFFF); put16(v >> 16); };
  ico.push_back(static_cast<unsigned char>(size));
  ico.push_back(static_cast<unsigned char>(size));
  ico.push_back(0);
  ico.push_back(0);
  put16(1);
  put16(32);
  put32(static_cast<unsigned>(png.size()));
  put32(22);
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;
  ok &= WritePng(CloseButton(), dir + "/1001_close.png", nullptr);
  ok &= WritePng(Logo(), dir + "/1002_logo.png", nullptr);
  ok &= WritePng(Banner(), dir + "/1004_banner.png", nullptr);
  ok &= WritePng(Background(), dir + "/1005_background.png", nullptr);
  ok &= WritePng(ProgressFill(), dir + "/1006_progress_fill.png", nullptr);
  ok &= WritePng(ProgressTrack(), dir + "/1007_progress_track.png", nullptr);
  std::vector<unsigned char> icon;
  ok &= WritePng(Icon(), dir + "/108_icon.png", &icon);
  ok &= ok && WriteBytes(dir + "/108_icon.ico", IcoFromPng(icon, 48));
  return ok ? 0 : 1;
}

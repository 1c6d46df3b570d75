#pragma once
// Owners for cairo's objects and the Pango/GLib ones drawn with them: each is held from the
// moment it exists, so every way out of a function lets it go exactly once and none is destroyed
// by hand.

#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

#include <memory>

namespace platform {

struct CairoDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
  void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
template <typename Object>
using CairoPtr = std::unique_ptr<Object, CairoDeleter>;

struct FontDescriptionFree {
  void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};
using UniqueFontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionFree>;

// A GObject reference of ours (PangoContext, PangoLayout, GdkPixbufLoader).
struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename Object>
using GObjectPtr = std::unique_ptr<Object, GObjectUnref>;

}  // namespace platform

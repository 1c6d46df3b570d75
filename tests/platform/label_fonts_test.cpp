// The labels' own font setup: the Song face they ask for is the Ming face on every machine.

#include "platform/linux/label_fonts.h"

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <string>

#include "platform/text_encoding.h"

namespace {

std::string ResolvedFamily(const std::string& utf8Family, PangoWeight weight) {
  PangoContext* context = pango_font_map_create_context(platform::LabelFontMap());
  PangoFontDescription* wanted = pango_font_description_new();
  pango_font_description_set_family(wanted, utf8Family.c_str());
  pango_font_description_set_absolute_size(wanted, 20 * PANGO_SCALE);
  pango_font_description_set_weight(wanted, weight);
  PangoFont* font = pango_font_map_load_font(platform::LabelFontMap(), context, wanted);
  std::string family;
  if (font != nullptr) {
    PangoFontDescription* got = pango_font_describe(font);
    family = pango_font_description_get_family(got);
    pango_font_description_free(got);
    g_object_unref(font);
  }
  pango_font_description_free(wanted);
  g_object_unref(context);
  return family;
}

TEST(LabelFonts, TheSongFaceResolvesToTheMingFace) {
  // The family name as the labels carry it: GBK bytes.
  const std::string song = platform::GbkToUtf8("宋体");
  EXPECT_EQ(ResolvedFamily(song, PANGO_WEIGHT_BOLD), "AR PL UMing CN");
  EXPECT_EQ(ResolvedFamily(song, PANGO_WEIGHT_NORMAL), "AR PL UMing CN");
  EXPECT_EQ(ResolvedFamily("SimSun", PANGO_WEIGHT_BOLD), "AR PL UMing CN");
}

}  // namespace

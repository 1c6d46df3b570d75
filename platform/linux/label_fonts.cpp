#include "platform/linux/label_fonts.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <unistd.h>

namespace platform {
namespace {

// AR PL UMing CN (Debian's fonts-arphic-uming) is the closest match to the Windows Song face.
constexpr const char* kMingFontFile = "/usr/share/fonts/truetype/arphic/uming.ttc";

// The Windows names map to the Ming face; the face has no bold, so bold is synthesised.
constexpr char8_t kRules[] = u8R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="same"><family>宋体</family><prefer><family>AR PL UMing CN</family></prefer></alias>
  <alias binding="same"><family>SimSun</family><prefer><family>AR PL UMing CN</family></prefer></alias>
  <match target="font">
    <test name="weight" compare="less"><const>demibold</const></test>
    <test target="pattern" name="weight" compare="more_eq"><const>demibold</const></test>
    <edit name="embolden" mode="assign"><bool>true</bool></edit>
    <edit name="weight" mode="assign"><const>bold</const></edit>
  </match>
</fontconfig>
)";

FcConfig* LabelFontConfig() {
  if (::access(kMingFontFile, R_OK) != 0) {
    // Without the Ming face the labels use the system's own choice rather than nothing.
    return FcInitLoadConfigAndFonts();
  }
  FcConfig* config = FcConfigCreate();
  FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kRules), FcTrue);
  FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(kMingFontFile));
  return config;
}

}  // namespace

PangoFontMap* LabelFontMap() {
  static PangoFontMap* map = [] {
    PangoFontMap* created = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    FcConfig* config = LabelFontConfig();
    // Kept for the whole process: the map and the config live as long as the labels.
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(created), config);
    return created;
  }();
  return map;
}

}  // namespace platform

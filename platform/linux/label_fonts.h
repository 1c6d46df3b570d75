#pragma once
// The font map of the labels: its own fontconfig setup, so that the Song face the labels ask for
// resolves to the same Ming face on every machine instead of whatever the system prefers.

#include <pango/pango.h>

namespace platform {

// Created on first use; lives until the process ends. User-interface thread only.
PangoFontMap* LabelFontMap();

}  // namespace platform

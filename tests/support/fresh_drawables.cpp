#include "tests/support/fresh_drawables.h"

#include "ui/drawable.h"
#include "ui/painter.h"

namespace testing_support {

FreshDrawables::FreshDrawables() {
  drawableList.clear();
  ResetPaintThrottle();
  SetPaintTickSource([this] { return tick; });
}

FreshDrawables::~FreshDrawables() {
  SetPaintTickSource(nullptr);
  ResetPaintThrottle();
  for (Drawable* drawable : drawableList) delete drawable;
  drawableList.clear();
}

}  // namespace testing_support

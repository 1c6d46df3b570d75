#include "tests/support/fresh_drawables.h"

#include "ui/drawable.h"
#include "ui/layout_scale.h"
#include "ui/painter.h"

namespace testing_support {

FreshDrawables::FreshDrawables() {
  drawableList.clear();
  ResetPaintThrottle();
  SetPaintTickSource([this] { return tick; });
  SetLayoutScale(1);
}

FreshDrawables::~FreshDrawables() {
  SetPaintTickSource(nullptr);
  ResetPaintThrottle();
  SetLayoutScale(1);
  for (Drawable* drawable : drawableList) delete drawable;
  drawableList.clear();
}

}  // namespace testing_support

#include "ui/drawable.h"

std::vector<Drawable*> drawableList;

void Drawable::SetRect(Rect rect) {
  x = rect.x;
  y = rect.y;
  width = rect.width;
  height = rect.height;
  dirty = true;
}

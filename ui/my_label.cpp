#include "ui/my_label.h"

#include <memory>
#include <utility>

namespace {
// The one face of every label (GBK bytes, as the system names it).
constexpr const char* kLabelFontFamily = "宋体";
constexpr int32_t kBold = 1;
}  // namespace

void MyLabel::Draw(platform::Canvas& canvas) {
  if (text.empty()) return;
  canvas.DrawString(text, static_cast<float>(x), static_cast<float>(y), fontFamily, fontSize,
                    fontStyle, color);
}

void MyLabel::SetText(std::string value) {
  if (value == text) return;
  text = std::move(value);
  dirty = true;
}

void MyLabel::SetFontSize(float value) {
  // Written as a negated equality so that a NaN on either side counts as a change.
  if (!(value == fontSize)) dirty = true;
  fontSize = value;
}

MyLabel* CreateLabel(WindowHandle owner, std::string text, float fontSize, Rect rect) {
  auto label = std::make_unique<MyLabel>();
  label->fontFamily = kLabelFontFamily;
  label->fontStyle = kBold;
  label->fontSize = 60;
  label->text = std::move(text);
  label->fontSize = fontSize;
  label->owner = owner;
  label->SetRect(rect);
  drawableList.push_back(label.get());
  return label.release();
}

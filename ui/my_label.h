#pragma once
// A text drawable. The text stays in the bytes the rest of the launcher produces (GBK for the
// built-in texts, ASCII for numbers) and is decoded only when drawn.

#include <string>

#include "ui/drawable.h"

class MyLabel : public Drawable {
 public:
  void Draw(platform::Canvas& canvas) override;
  // Both set dirty only on a real change: callers repeat unchanged values many times a second.
  void SetText(std::string value);
  void SetFontSize(float value);

  std::string text;
  std::string fontFamily;
  int32_t fontStyle = 1;
  float fontSize = 60;
};

// Width and height of a label are not drawn; -1 keeps the label out of the click dispatch.
MyLabel* CreateLabel(WindowHandle owner, std::string text, float fontSize, Rect rect);

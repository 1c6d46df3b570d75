#include "ui/painter.h"

#include <gtest/gtest.h>

#include "tests/support/fresh_drawables.h"
#include "tests/support/recording_canvas.h"

namespace {

// A drawable that counts how often it was drawn.
class CountingDrawable : public Drawable {
 public:
  void Draw(platform::Canvas& /*canvas*/) override { ++draws; }
  int draws = 0;
};

CountingDrawable* Add(WindowHandle owner) {
  auto* drawable = new CountingDrawable;
  drawable->owner = owner;
  drawableList.push_back(drawable);
  return drawable;
}

class PainterTest : public testing_support::FreshDrawables {
 protected:
  testing_support::RecordingWindowSystem windows;
  WindowHandle main = windows.CreateMainWindow("t", 1110, 492, nullptr, 0);
  WindowHandle overlay = windows.CreateOverlayWindow(main);
};

TEST_F(PainterTest, ComposesOnlyTheWindowsOwnDrawablesAndClearsTheirFlags) {
  CountingDrawable* mine = Add(main);
  CountingDrawable* other = Add(overlay);

  PaintLayeredWindow(main);

  EXPECT_EQ(mine->draws, 1);
  EXPECT_FALSE(mine->dirty);
  EXPECT_EQ(other->draws, 0);
  EXPECT_TRUE(other->dirty);
  ASSERT_EQ(windows.presented.size(), 1u);
  EXPECT_EQ(windows.presented[0].window, main);
  EXPECT_EQ(windows.presented[0].surface->Width(), 1110);
  EXPECT_EQ(windows.presented[0].surface->Height(), 492);
}

TEST_F(PainterTest, AWindowWithoutDirtyDrawablesKeepsItsContent) {
  CountingDrawable* drawable = Add(main);
  drawable->dirty = false;

  EXPECT_FALSE(HasDirtyDrawable(main));
  PaintLayeredWindow(main);
  RequestRepaint(main);

  EXPECT_EQ(drawable->draws, 0);
  EXPECT_TRUE(windows.presented.empty());
  EXPECT_TRUE(windows.invalidated.empty());
}

TEST_F(PainterTest, RequestRepaintInvalidatesOnlyADirtyWindow) {
  Add(main)->dirty = false;
  Add(overlay);

  RequestRepaint(main);
  RequestRepaint(overlay);

  ASSERT_EQ(windows.invalidated.size(), 1u);
  EXPECT_EQ(windows.invalidated[0], overlay);
}

TEST_F(PainterTest, HiddenDrawableIsLeftOutButItsFlagIsCleared) {
  CountingDrawable* shown = Add(main);
  CountingDrawable* hidden = Add(main);
  PaintLayeredWindow(main);
  tick += 16;

  hidden->SetVisible(false);
  EXPECT_TRUE(hidden->dirty);
  EXPECT_FALSE(shown->dirty);
  PaintLayeredWindow(main);

  EXPECT_EQ(shown->draws, 2);
  EXPECT_EQ(hidden->draws, 1);
  EXPECT_FALSE(hidden->dirty);
  hidden->SetVisible(false);
  EXPECT_FALSE(hidden->dirty);
}

TEST_F(PainterTest, SetterDirtyRules) {
  CountingDrawable* drawable = Add(main);
  auto settle = [&] { drawable->dirty = false; };
  settle();
  drawable->SetPosition(drawable->x, drawable->y);
  EXPECT_TRUE(drawable->dirty);
  settle();
  drawable->SetColor(drawable->color);
  EXPECT_TRUE(drawable->dirty);
  settle();
  drawable->SetRect({1, 2, 3, 4});
  EXPECT_TRUE(drawable->dirty);
  settle();
  drawable->SetVisible(true);
  EXPECT_FALSE(drawable->dirty);
  drawable->SetOnClick([] {});
  EXPECT_FALSE(drawable->dirty);
}

TEST_F(PainterTest, CompositionsOfAllWindowsKeepSixteenMillisecondsApart) {
  CountingDrawable* a = Add(main);
  CountingDrawable* b = Add(overlay);

  PaintLayeredWindow(main);
  tick += 15;
  PaintLayeredWindow(overlay);
  EXPECT_EQ(b->draws, 0);
  EXPECT_TRUE(b->dirty);

  tick += 1;
  PaintLayeredWindow(overlay);
  EXPECT_EQ(a->draws, 1);
  EXPECT_EQ(b->draws, 1);
}

TEST_F(PainterTest, TheStampMovesEvenWhenNothingIsDirty) {
  CountingDrawable* drawable = Add(main);
  drawable->dirty = false;
  PaintLayeredWindow(main);  // stamps at 1000 though it composes nothing
  drawable->dirty = true;
  tick += 10;
  PaintLayeredWindow(main);
  EXPECT_EQ(drawable->draws, 0);
  tick += 6;
  PaintLayeredWindow(main);
  EXPECT_EQ(drawable->draws, 1);
}

TEST_F(PainterTest, ThrottleWorksAcrossTheTickWrap) {
  CountingDrawable* drawable = Add(main);
  tick = 0xFFFFFFF8u;
  PaintLayeredWindow(main);
  EXPECT_EQ(drawable->draws, 1);

  drawable->dirty = true;
  tick = 0x00000007u;  // 15 ms later, after the wrap
  PaintLayeredWindow(main);
  EXPECT_EQ(drawable->draws, 1);

  tick = 0x00000008u;  // 16 ms later
  PaintLayeredWindow(main);
  EXPECT_EQ(drawable->draws, 2);
}

TEST_F(PainterTest, DrawsInListOrder) {
  std::vector<int> order;
  class Ordered : public Drawable {
   public:
    Ordered(std::vector<int>* order, int id) : order_(order), id_(id) {}
    void Draw(platform::Canvas&) override { order_->push_back(id_); }

   private:
    std::vector<int>* order_;
    int id_;
  };
  for (int id = 0; id < 3; ++id) {
    auto* drawable = new Ordered(&order, id);
    drawable->owner = main;
    drawableList.push_back(drawable);
  }
  PaintLayeredWindow(main);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

}  // namespace

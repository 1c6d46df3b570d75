#include "ui/click_dispatch.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fresh_drawables.h"
#include "tests/support/recording_canvas.h"
#include "ui/layout_scale.h"
#include "ui/my_label.h"

namespace {

class Box : public Drawable {
 public:
  void Draw(platform::Canvas&) override {}
};

class ClickDispatchTest : public testing_support::FreshDrawables {
 protected:
  Box* AddBox(Rect rect, std::string name) {
    auto* box = new Box;
    box->owner = main;
    box->SetRect(rect);
    box->SetOnClick([this, name] { clicks += name; });
    drawableList.push_back(box);
    return box;
  }

  testing_support::RecordingWindowSystem windows;
  WindowHandle main = windows.CreateMainWindow("t", 1110, 492, nullptr, 0);
  std::string clicks;
};

TEST_F(ClickDispatchTest, TheLaterOfTwoOverlappingDrawablesGetsTheClick) {
  AddBox({0, 0, 100, 100}, "below");
  AddBox({50, 50, 100, 100}, "above");
  DispatchClick(60, 60);
  DispatchClick(10, 10);
  EXPECT_EQ(clicks, "abovebelow");
}

TEST_F(ClickDispatchTest, AllFourEdgesAreInside) {
  AddBox({10, 20, 49, 49}, "x");
  for (auto [px, py] : {std::pair{10, 20}, {59, 20}, {10, 69}, {59, 69}}) {
    clicks.clear();
    DispatchClick(px, py);
    EXPECT_EQ(clicks, "x") << px << "," << py;
  }
  for (auto [px, py] : {std::pair{9, 20}, {60, 20}, {10, 19}, {10, 70}}) {
    clicks.clear();
    DispatchClick(px, py);
    EXPECT_EQ(clicks, "") << px << "," << py;
  }
}

TEST_F(ClickDispatchTest, AHiddenDrawableIsNeverHit) {
  AddBox({0, 0, 100, 100}, "below");
  AddBox({0, 0, 100, 100}, "hidden")->SetVisible(false);
  DispatchClick(5, 5);
  EXPECT_EQ(clicks, "below");
}

TEST_F(ClickDispatchTest, AHitWithoutCallbackEndsTheWalk) {
  AddBox({0, 0, 100, 100}, "below");
  AddBox({0, 0, 100, 100}, "silent")->SetOnClick(nullptr);
  DispatchClick(5, 5);
  EXPECT_EQ(clicks, "");
}

TEST_F(ClickDispatchTest, ALabelOfSizeMinusOneIsNeverHit) {
  AddBox({0, 0, 100, 100}, "below");
  MyLabel* label = CreateLabel(main, "text", 20, {10, 10, -1, -1});
  label->SetOnClick([this] { clicks += "label"; });
  DispatchClick(10, 10);
  DispatchClick(9, 9);
  EXPECT_EQ(clicks, "belowbelow");
}

TEST_F(ClickDispatchTest, OnlyAPlainLeftPressReachesAWidgetButEveryPressDrags) {
  AddBox({0, 0, 100, 100}, "x");
  for (uint32_t keyState : {platform::kMkLButton | platform::kMkShift,
                            platform::kMkLButton | platform::kMkControl,
                            platform::kMkLButton | platform::kMkRButton,
                            platform::kMkLButton | platform::kMkMButton}) {
    HandleLeftButtonDown(main, keyState, 5, 5);
  }
  EXPECT_EQ(clicks, "");
  EXPECT_EQ(windows.drags.size(), 4u);

  HandleLeftButtonDown(main, platform::kMkLButton, 5, 5);
  EXPECT_EQ(clicks, "x");
  EXPECT_EQ(windows.drags.size(), 5u);
}

TEST_F(ClickDispatchTest, TheCallbackRunsBeforeTheDragStarts) {
  size_t dragsSeenByCallback = 99;
  AddBox({0, 0, 100, 100}, "x")->SetOnClick([&] { dragsSeenByCallback = windows.drags.size(); });
  HandleLeftButtonDown(main, platform::kMkLButton, 5, 5);
  EXPECT_EQ(dragsSeenByCallback, 0u);
  EXPECT_EQ(windows.drags.size(), 1u);
}

// On a screen of 150 % or 200 % the presses come in device pixels: the close button of 49 x 49
// layout pixels at (1027, 44) takes them where it is drawn, 73.5 or 98 device pixels wide.
TEST_F(ClickDispatchTest, APressOnAScaledScreenHitsTheDrawableWhereItIsDrawn) {
  AddBox({1027, 44, 49, 49}, "close");
  struct Case {
    float scale;
    int32_t x, y;
    bool hit;
  };
  for (const Case& c : {Case{1.5f, 1577, 102, true},   // its centre
                        Case{1.5f, 1541, 66, true},    // its first device pixels
                        Case{1.5f, 1614, 139, true},   // on its right and bottom edges
                        Case{1.5f, 1540, 102, false},  // left of it
                        Case{1.5f, 1615, 102, false},  // right of it
                        Case{1.5f, 1051, 68, false},   // where it lies at 96 DPI
                        Case{2.0f, 2102, 136, true},
                        Case{2.0f, 2152, 186, true},
                        Case{2.0f, 2153, 136, false},
                        Case{1.0f, 1051, 68, true},
                        Case{1.0f, 1077, 68, false}}) {
    SetLayoutScale(c.scale);
    clicks.clear();
    HandleLeftButtonDown(main, platform::kMkLButton, c.x, c.y);
    EXPECT_EQ(clicks == "close", c.hit) << "scale " << c.scale << " at " << c.x << "," << c.y;
  }
}

}  // namespace

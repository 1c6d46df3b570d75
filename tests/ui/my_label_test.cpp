#include "ui/my_label.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/fresh_drawables.h"
#include "tests/support/recording_canvas.h"

namespace {

class LabelTest : public testing_support::FreshDrawables {
 protected:
  testing_support::RecordingWindowSystem windows;
  WindowHandle main = windows.CreateMainWindow("t", 1110, 492, nullptr, 0);
};

TEST_F(LabelTest, CreatedWithTheDefaultsAndAppended) {
  MyLabel* label = CreateLabel(main, "0Kb/s", 16, {899, 389, -1, -1});
  EXPECT_EQ(label->text, "0Kb/s");
  EXPECT_FLOAT_EQ(label->fontSize, 16);
  EXPECT_EQ(label->fontStyle, 1);
  EXPECT_EQ(label->fontFamily, "宋体");
  EXPECT_EQ(label->color, 0xFFFFFFFFu);
  EXPECT_EQ(label->width, -1);
  EXPECT_EQ(label->height, -1);
  EXPECT_TRUE(label->dirty);
  EXPECT_TRUE(label->visible);
  EXPECT_EQ(label->owner, main);
  EXPECT_EQ(drawableList.back(), label);
}

TEST_F(LabelTest, SetTextMarksDirtyOnlyOnAChange) {
  MyLabel* label = CreateLabel(main, "abc", 20, {0, 0, -1, -1});
  label->dirty = false;
  label->SetText("abc");
  EXPECT_FALSE(label->dirty);
  label->SetText("abd");
  EXPECT_TRUE(label->dirty);
  EXPECT_EQ(label->text, "abd");
  label->dirty = false;
  label->SetText("abdd");
  EXPECT_TRUE(label->dirty);
  label->dirty = false;
  label->SetText(std::string("ab\0d", 4));
  EXPECT_TRUE(label->dirty);
  label->dirty = false;
  label->SetText("");
  EXPECT_TRUE(label->dirty);
}

TEST_F(LabelTest, SetFontSizeMarksDirtyOnlyOnAChange) {
  MyLabel* label = CreateLabel(main, "x", 20, {0, 0, -1, -1});
  label->dirty = false;
  label->SetFontSize(20);
  EXPECT_FALSE(label->dirty);
  label->SetFontSize(16);
  EXPECT_TRUE(label->dirty);
  label->dirty = false;
  label->SetFontSize(NAN);
  EXPECT_TRUE(label->dirty);
  label->dirty = false;
  label->SetFontSize(NAN);
  EXPECT_TRUE(label->dirty);
}

TEST_F(LabelTest, DrawsItsTextAtItsPosition) {
  MyLabel* label = CreateLabel(main, "下载中....", 20, {589, 387, -1, -1});
  label->SetColor(0xFF00FFFF);
  testing_support::RecordingCanvas canvas;
  label->Draw(canvas);
  ASSERT_EQ(canvas.strings.size(), 1u);
  const testing_support::StringCall& call = canvas.strings[0];
  EXPECT_EQ(call.text, "下载中....");
  EXPECT_EQ(call.text.size(), 10u);  // three GBK characters and four stops
  EXPECT_FLOAT_EQ(call.x, 589);
  EXPECT_FLOAT_EQ(call.y, 387);
  EXPECT_EQ(call.family, "宋体");
  EXPECT_FLOAT_EQ(call.pixelSize, 20);
  EXPECT_EQ(call.style, 1);
  EXPECT_EQ(call.argb, 0xFF00FFFFu);
}

TEST_F(LabelTest, AnEmptyTextDrawsNothing) {
  MyLabel* label = CreateLabel(main, "", 20, {0, 0, -1, -1});
  testing_support::RecordingCanvas canvas;
  label->Draw(canvas);
  EXPECT_TRUE(canvas.strings.empty());
}

}  // namespace

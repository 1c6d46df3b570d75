#include "ui/forms.h"

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/support/fresh_drawables.h"
#include "tests/support/recording_canvas.h"
#include "ui/painter.h"
#include "ui/splash_screen.h"

namespace {

class FormsTest : public testing_support::FreshDrawables {
 protected:
  FormsTest() { windows.SetWindowPos(main, {100, 200, 1110, 492}, false); }

  testing_support::RecordingWindowSystem windows;
  WindowHandle main = windows.CreateMainWindow("t", 1110, 492, nullptr, 0);
};

TEST_F(FormsTest, AFreshFormLiesOnTheMainWindowWithAnEmptyLabel) {
  LabelForm* form = CreateLabelForm(nullptr, main);
  const Rect r = windows.WindowRect(form->window);
  EXPECT_EQ(r.x, 100);
  EXPECT_EQ(r.y, 200);
  EXPECT_EQ(r.width, 1110);
  EXPECT_EQ(r.height, 492);
  EXPECT_EQ(form->ownerWindow, main);
  ASSERT_NE(form->label, nullptr);
  EXPECT_EQ(form->label->owner, form->window);
  EXPECT_EQ(form->label->text, "");
  EXPECT_FLOAT_EQ(form->label->fontSize, 0);
  EXPECT_EQ(form->label->width, -1);
  // Its creation left the label dirty, so the factory's SyncToOwner asked for a paint.
  ASSERT_FALSE(windows.invalidated.empty());
  EXPECT_EQ(windows.invalidated.back(), form->window);
  delete form;
}

TEST_F(FormsTest, SyncToOwnerFollowsTheMainWindow) {
  Slice9ImageForm* form = CreateSlice9ImageForm(nullptr, main);
  EXPECT_EQ(form->image, nullptr);
  windows.SetWindowPos(main, {5, 6, 1110, 492}, false);
  form->SyncToOwner();
  EXPECT_EQ(windows.WindowRect(form->window).x, 5);
  EXPECT_EQ(windows.WindowRect(form->window).y, 6);
  delete form;
}

TEST_F(FormsTest, AddSlice9ImageFormGivesANaturalSizeImageAndAppends) {
  SplashScreen splash;
  splash.mainWindow = main;
  Slice9ImageForm* form = splash.AddSlice9ImageForm(kCloseButtonPng);
  ASSERT_EQ(splash.forms.size(), 1u);
  EXPECT_EQ(splash.forms[0], form);
  ASSERT_NE(form->image, nullptr);
  EXPECT_EQ(form->image->owner, form->window);
  EXPECT_EQ(form->image->width, 49);
  EXPECT_EQ(form->image->height, 49);
  EXPECT_EQ(form->image->insets.left, 0);
  delete form;
}

TEST_F(FormsTest, AHiddenContentLeavesAFullyTransparentLayer) {
  LabelForm* form = CreateLabelForm(nullptr, main);
  form->label->SetText("abc");
  form->label->SetFontSize(20);
  form->label->SetVisible(false);
  PaintLayeredWindow(form->window);
  testing_support::RecordingCanvas* canvas = windows.LastCanvas(form->window);
  ASSERT_NE(canvas, nullptr);
  EXPECT_TRUE(canvas->strings.empty());
  EXPECT_TRUE(canvas->images.empty());
  EXPECT_FALSE(form->label->dirty);
  delete form;
}

}  // namespace

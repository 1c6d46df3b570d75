#include "ui/my_image.h"

#include <gtest/gtest.h>

#include <memory>

#include "resources/resource_ids.h"
#include "tests/support/fresh_drawables.h"
#include "tests/support/recording_canvas.h"

namespace {

using testing_support::FakeImage;
using testing_support::ImageCall;
using testing_support::RecordingCanvas;

void ExpectRect(const platform::RectF& r, float x, float y, float w, float h) {
  EXPECT_FLOAT_EQ(r.x, x);
  EXPECT_FLOAT_EQ(r.y, y);
  EXPECT_FLOAT_EQ(r.width, w);
  EXPECT_FLOAT_EQ(r.height, h);
}

std::unique_ptr<MySlice9Image> Slice9(int32_t imageWidth, int32_t imageHeight, Rect rect,
                                      Insets insets) {
  auto image = std::make_unique<MySlice9Image>();
  image->image = std::make_unique<FakeImage>(imageWidth, imageHeight);
  image->SetRect(rect);
  image->SetInsets(insets);
  return image;
}

TEST(NineSlice, DrawsNinePiecesInOrderWithTheirSourceRectangles) {
  auto holder = Slice9(18, 15, {402, 411, 100, 17}, {7, 5, 7, 6});
  MySlice9Image& image = *holder;
  image.color = 0xFF00FFFF;
  RecordingCanvas canvas;
  image.Draw(canvas);
  const std::vector<ImageCall>& c = canvas.images;
  ASSERT_EQ(c.size(), 9u);
  ExpectRect(c[0].destination, 402, 411, 7, 5);    // top-left
  ExpectRect(c[0].source, 0, 0, 7, 5);
  ExpectRect(c[1].destination, 495, 411, 7, 5);    // top-right
  ExpectRect(c[1].source, 11, 0, 7, 5);
  ExpectRect(c[2].destination, 402, 422, 7, 6);    // bottom-left
  ExpectRect(c[2].source, 0, 9, 7, 6);
  ExpectRect(c[3].destination, 495, 422, 7, 6);    // bottom-right
  ExpectRect(c[3].source, 11, 9, 7, 6);
  ExpectRect(c[4].destination, 409, 416, 86, 6);   // centre
  ExpectRect(c[4].source, 7, 5, 4, 4);
  ExpectRect(c[5].destination, 409, 411, 86, 5);   // top edge
  ExpectRect(c[5].source, 7, 0, 4, 5);
  ExpectRect(c[6].destination, 409, 422, 86, 6);   // bottom edge
  ExpectRect(c[6].source, 7, 9, 4, 6);
  ExpectRect(c[7].destination, 402, 416, 7, 6);    // left edge
  ExpectRect(c[7].source, 0, 5, 7, 4);
  ExpectRect(c[8].destination, 495, 416, 7, 6);    // right edge
  ExpectRect(c[8].source, 11, 5, 7, 4);
  for (const ImageCall& call : c) {
    EXPECT_EQ(call.image, image.image.get());
    EXPECT_EQ(call.argb, 0xFF00FFFFu);
  }
}

TEST(NineSlice, WidthTenLeavesThreeForTheRightInset) {
  auto holder = Slice9(18, 15, {0, 0, 10, 17}, {7, 5, 7, 6});
  MySlice9Image& image = *holder;
  RecordingCanvas canvas;
  image.Draw(canvas);
  const std::vector<ImageCall>& c = canvas.images;
  ASSERT_EQ(c.size(), 9u);
  ExpectRect(c[0].destination, 0, 0, 7, 5);
  ExpectRect(c[1].destination, 7, 0, 3, 5);  // R = 3
  ExpectRect(c[1].source, 15, 0, 3, 5);
  EXPECT_FLOAT_EQ(c[4].destination.width, 0);  // centre, top and bottom edges vanish
  EXPECT_FLOAT_EQ(c[5].destination.width, 0);
  EXPECT_FLOAT_EQ(c[6].destination.width, 0);
}

TEST(NineSlice, InsetWiderThanTheRectIsClamped) {
  auto holder = Slice9(18, 15, {0, 0, 4, 17}, {7, 5, 7, 6});
  MySlice9Image& image = *holder;
  RecordingCanvas canvas;
  image.Draw(canvas);
  const std::vector<ImageCall>& c = canvas.images;
  ASSERT_EQ(c.size(), 9u);
  ExpectRect(c[0].destination, 0, 0, 4, 5);  // L = 4
  ExpectRect(c[0].source, 0, 0, 4, 5);
  ExpectRect(c[1].destination, 4, 0, 0, 5);  // R = 0
  ExpectRect(c[1].source, 18, 0, 0, 5);
}

TEST(NineSlice, SettingInsetsMarksDirty) {
  auto holder = Slice9(18, 15, {0, 0, 10, 17}, {});
  MySlice9Image& image = *holder;
  image.dirty = false;
  image.SetInsets({7, 5, 7, 6});
  EXPECT_TRUE(image.dirty);
}

TEST(WholeImage, IsScaledIntoItsRect) {
  MyImage image;
  image.image = std::make_unique<FakeImage>(740, 328);
  image.SetRect({0, 0, 1110, 492});
  RecordingCanvas canvas;
  image.Draw(canvas);
  ASSERT_EQ(canvas.images.size(), 1u);
  ExpectRect(canvas.images[0].destination, 0, 0, 1110, 492);
  ExpectRect(canvas.images[0].source, 0, 0, 740, 328);
  EXPECT_EQ(canvas.images[0].argb, 0xFFFFFFFFu);
}

TEST(NaturalSize, NegativeSidesTakeTheImagesOwnIndependently) {
  MyImage image;
  image.image = std::make_unique<FakeImage>(153, 86);
  image.SetRect({1, 2, -1, -1});
  EXPECT_EQ(image.width, 153);
  EXPECT_EQ(image.height, 86);
  image.SetRect({1, 2, -5, 0});
  EXPECT_EQ(image.width, 153);
  EXPECT_EQ(image.height, 0);
  image.SetRect({1, 2, 7, -1});
  EXPECT_EQ(image.width, 7);
  EXPECT_EQ(image.height, 86);
  EXPECT_EQ(image.x, 1);
  EXPECT_EQ(image.y, 2);
}

class ImageFactories : public testing_support::FreshDrawables {
 protected:
  testing_support::RecordingWindowSystem windows;
  WindowHandle main = windows.CreateMainWindow("t", 1110, 492, nullptr, 0);
};

TEST_F(ImageFactories, LoadTheEmbeddedArtworkAtItsNaturalSize) {
  const struct {
    int id;
    int width, height;
  } art[] = {{kCloseButtonPng, 49, 49},  {kLogoPng, 153, 86},        {kBannerPng, 261, 123},
             {kBackgroundPng, 740, 328}, {kProgressFillPng, 18, 15}, {kProgressTrackPng, 35, 11}};
  for (const auto& a : art) {
    MyImage* image = CreateImage(main, a.id, {3, 4, -1, -1});
    EXPECT_EQ(image->width, a.width) << a.id;
    EXPECT_EQ(image->height, a.height) << a.id;
    EXPECT_EQ(image->resourceId, a.id);
    EXPECT_EQ(image->owner, main);
    EXPECT_TRUE(image->dirty);
    EXPECT_TRUE(image->visible);
    EXPECT_EQ(image->color, 0xFFFFFFFFu);
    EXPECT_EQ(drawableList.back(), image);
  }
  MySlice9Image* slice = CreateSlice9Image(main, kProgressTrackPng, {404, 410, 562, 15}, {6, 5, 6, 5});
  EXPECT_EQ(slice->insets.left, 6);
  EXPECT_EQ(slice->insets.bottom, 5);
  EXPECT_EQ(slice->width, 562);
  EXPECT_EQ(drawableList.back(), slice);
}

// The icon a window system given PNG bytes shows (GTK); the Windows build carries it as an icon
// resource instead (tests/win32).
TEST(LoadPngResource, GivesTheWindowIconAsPng) { EXPECT_NE(LoadPngResource(kIconResource), nullptr); }

TEST(LoadPngResource, IsNullForAnIdWithoutArtwork) { EXPECT_EQ(LoadPngResource(4242), nullptr); }

TEST(LoadPngResource, UndecodableBytesGiveAnEmptyImage) {
  const unsigned char junk[] = {1, 2, 3, 4, 5};
  std::unique_ptr<platform::Image> image = platform::DecodePngImage(junk, sizeof junk);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Width(), 0);
  EXPECT_EQ(image->Height(), 0);
}

using ImageFactoriesDeathTest = ImageFactories;

TEST_F(ImageFactoriesDeathTest, AMissingResourceShowsABoxAndEndsTheProcess) {
  // The headless box writes its line to standard error; the process ends with code 0.
  EXPECT_EXIT(CreateImage(main, 4242, {0, 0, -1, -1}), testing::ExitedWithCode(0),
              "id=4242");
  EXPECT_EXIT(CreateSlice9Image(main, 4243, {0, 0, -1, -1}, {}), testing::ExitedWithCode(0),
              "id=4243");
}

}  // namespace

// The canvas of the Linux backends on real pixels: scaling, the colour matrix and text.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/canvas.h"
#include "platform/window_system.h"
#include "resources/embedded_png.h"
#include "resources/resource_ids.h"

namespace {

uint32_t A(uint32_t p) { return p >> 24; }
uint32_t R(uint32_t p) { return (p >> 16) & 0xFF; }
uint32_t G(uint32_t p) { return (p >> 8) & 0xFF; }
uint32_t B(uint32_t p) { return p & 0xFF; }

std::unique_ptr<platform::Image> Art(int id) {
  const EmbeddedBytes bytes = FindEmbeddedPng(id);
  return platform::DecodePngImage(bytes.data, bytes.size);
}

class CanvasTest : public ::testing::Test {
 protected:
  // Draws the background art 1:1 into a fresh surface with the colour.
  platform::PixelBuffer DrawBackground(uint32_t argb) {
    std::unique_ptr<platform::Surface> surface = windows->CreateSurface(740, 328);
    surface->GetCanvas().DrawImage(*background, {0, 0, 740, 328}, {0, 0, 740, 328}, argb);
    return surface->ReadPixels();
  }

  std::unique_ptr<platform::WindowSystem> windows = platform::CreateHeadlessWindowSystem();
  std::unique_ptr<platform::Image> background = Art(kBackgroundPng);
};

TEST_F(CanvasTest, WhiteDrawsTheImageUnchanged) {
  const platform::PixelBuffer plain = DrawBackground(0xFFFFFFFF);
  // An opaque pixel inside the panel and a transparent one outside its rounded corner.
  EXPECT_EQ(A(plain.At(370, 160)), 255u);
  EXPECT_EQ(A(plain.At(2, 2)), 0u);
  EXPECT_NE(R(plain.At(560, 86)), 0u);  // the moon is light in every channel
}

TEST_F(CanvasTest, ZeroRedByteRemovesTheRedChannel) {
  const platform::PixelBuffer plain = DrawBackground(0xFFFFFFFF);
  const platform::PixelBuffer tinted = DrawBackground(0xFF00FFFF);
  int checked = 0;
  for (int y = 20; y < 320; y += 37) {
    for (int x = 45; x < 715; x += 41) {
      const uint32_t p = plain.At(x, y), t = tinted.At(x, y);
      if (A(p) != 255) continue;
      EXPECT_EQ(R(t), 0u) << x << "," << y;
      EXPECT_EQ(G(t), G(p)) << x << "," << y;
      EXPECT_EQ(B(t), B(p)) << x << "," << y;
      EXPECT_EQ(A(t), 255u);
      ++checked;
    }
  }
  EXPECT_GT(checked, 50);
}

TEST_F(CanvasTest, AlphaByte128HalvesTheOpacity) {
  const platform::PixelBuffer plain = DrawBackground(0xFFFFFFFF);
  const platform::PixelBuffer half = DrawBackground(0x80FFFFFF);
  const uint32_t p = plain.At(560, 86), h = half.At(560, 86);
  ASSERT_EQ(A(p), 255u);
  EXPECT_NEAR(A(h), 128, 1);
  // Straight colours stay as they were (within the rounding of premultiplication).
  EXPECT_NEAR(R(h), R(p), 2);
  EXPECT_NEAR(G(h), G(p), 2);
  EXPECT_NEAR(B(h), B(p), 2);
}

TEST_F(CanvasTest, ScalesTheSourceRectangleIntoTheDestination) {
  std::unique_ptr<platform::Image> fill = Art(kProgressFillPng);
  std::unique_ptr<platform::Surface> surface = windows->CreateSurface(100, 40);
  // The fill's centre column stretched over 80 pixels.
  surface->GetCanvas().DrawImage(*fill, {10, 10, 80, 4}, {7, 5, 4, 4}, 0xFFFFFFFF);
  const platform::PixelBuffer pixels = surface->ReadPixels();
  EXPECT_EQ(A(pixels.At(10, 10)), 255u);
  EXPECT_EQ(A(pixels.At(89, 13)), 255u);
  EXPECT_EQ(A(pixels.At(9, 10)), 0u);
  EXPECT_EQ(A(pixels.At(90, 10)), 0u);
  EXPECT_EQ(A(pixels.At(50, 14)), 0u);
  EXPECT_GT(G(pixels.At(50, 12)), R(pixels.At(50, 12)));  // light green
}

TEST_F(CanvasTest, EmptyRectanglesDrawNothing) {
  std::unique_ptr<platform::Image> fill = Art(kProgressFillPng);
  std::unique_ptr<platform::Surface> surface = windows->CreateSurface(40, 40);
  surface->GetCanvas().DrawImage(*fill, {10, 10, 0, 17}, {0, 0, 18, 15}, 0xFFFFFFFF);
  surface->GetCanvas().DrawImage(*fill, {10, 10, 7, 5}, {0, 0, 0, 5}, 0xFFFFFFFF);
  const unsigned char junk[] = {0x89, 'P', 'N', 'G'};
  surface->GetCanvas().DrawImage(*platform::DecodePngImage(junk, sizeof junk), {0, 0, 40, 40},
                                 {0, 0, 10, 10}, 0xFFFFFFFF);
  for (uint32_t p : surface->ReadPixels().argb) ASSERT_EQ(p, 0u);
}

// Artwork whose header reads but whose pixels are cut off or damaged keeps the header's size and
// draws nothing; the image made from it does not depend on the bytes it was made from.
TEST_F(CanvasTest, DamagedPixelDataDrawsNothing) {
  const EmbeddedBytes bytes = FindEmbeddedPng(kBackgroundPng);
  std::vector<unsigned char> cut(bytes.data, bytes.data + bytes.size / 2);
  std::vector<unsigned char> damaged(bytes.data, bytes.data + bytes.size);
  for (size_t i = 100; i < damaged.size() - 20; i += 7) damaged[i] ^= 0x5A;
  std::vector<std::unique_ptr<platform::Image>> images;
  images.push_back(platform::DecodePngImage(cut.data(), cut.size()));
  images.push_back(platform::DecodePngImage(damaged.data(), damaged.size()));
  cut.assign(cut.size(), 0);
  damaged.assign(damaged.size(), 0);
  for (const auto& image : images) {
    EXPECT_EQ(image->Width(), 740);
    EXPECT_EQ(image->Height(), 328);
    std::unique_ptr<platform::Surface> surface = windows->CreateSurface(40, 40);
    surface->GetCanvas().DrawImage(*image, {0, 0, 40, 40}, {0, 0, 740, 328}, 0xFFFFFFFF);
    for (uint32_t p : surface->ReadPixels().argb) ASSERT_EQ(p, 0u);
  }
  // Freed source bytes: the whole image still draws.
  std::vector<unsigned char> copy(bytes.data, bytes.data + bytes.size);
  std::unique_ptr<platform::Image> image = platform::DecodePngImage(copy.data(), copy.size());
  copy.assign(copy.size(), 0);
  std::unique_ptr<platform::Surface> surface = windows->CreateSurface(740, 328);
  surface->GetCanvas().DrawImage(*image, {0, 0, 740, 328}, {0, 0, 740, 328}, 0xFFFFFFFF);
  EXPECT_EQ(surface->ReadPixels().argb, DrawBackground(0xFFFFFFFF).argb);
}

int CountInk(const platform::PixelBuffer& pixels, uint32_t rgb) {
  int ink = 0;
  for (uint32_t p : pixels.argb) {
    if (A(p) > 128 && (p & 0xFFFFFF) == rgb) ++ink;
  }
  return ink;
}

TEST_F(CanvasTest, TextIsDrawnInItsColourFromTheOrigin) {
  std::unique_ptr<platform::Surface> surface = windows->CreateSurface(300, 60);
  surface->GetCanvas().DrawString("下载中....", 20, 10, "宋体", 20, 1, 0xFF00FFFF);
  const platform::PixelBuffer pixels = surface->ReadPixels();
  EXPECT_GT(CountInk(pixels, 0x00FFFF), 40);
  // Nothing left of the origin or above it (but for a pixel of anti-aliasing), nothing below
  // one line of text.
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      if (A(pixels.At(x, y)) == 0) continue;
      EXPECT_GE(x, 20);
      EXPECT_GE(y, 9);
      EXPECT_LT(y, 10 + 30);
    }
  }
}

TEST_F(CanvasTest, BoldTextHasMoreInk) {
  std::unique_ptr<platform::Surface> bold = windows->CreateSurface(300, 40);
  std::unique_ptr<platform::Surface> regular = windows->CreateSurface(300, 40);
  bold->GetCanvas().DrawString("适度游戏益脑", 0, 0, "宋体", 20, 1, 0xFFFFFFFF);
  regular->GetCanvas().DrawString("适度游戏益脑", 0, 0, "宋体", 20, 0, 0xFFFFFFFF);
  EXPECT_GT(CountInk(bold->ReadPixels(), 0xFFFFFF), CountInk(regular->ReadPixels(), 0xFFFFFF));
}

TEST_F(CanvasTest, TextOfSizeZeroOrEmptyDrawsNothing) {
  std::unique_ptr<platform::Surface> surface = windows->CreateSurface(100, 40);
  surface->GetCanvas().DrawString("abc", 0, 0, "宋体", 0, 1, 0xFFFFFFFF);
  surface->GetCanvas().DrawString("", 0, 0, "宋体", 20, 1, 0xFFFFFFFF);
  for (uint32_t p : surface->ReadPixels().argb) ASSERT_EQ(p, 0u);
}

}  // namespace

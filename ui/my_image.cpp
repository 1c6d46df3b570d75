#include "ui/my_image.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/message_box.h"
#include "platform/process_exit.h"

namespace {

// A missing artwork resource is fatal: the splash cannot be shown without it.
[[noreturn]] void FailOnMissingResource(int resourceId, const char* caption) {
  char text[256];
  std::snprintf(text, sizeof text, "资源id=%d", resourceId);
  platform::ShowMessageBox(text, caption, platform::kMbOk);
  platform::QuickExit(0);
}

template <typename T>
T* CreateImageDrawable(WindowHandle owner, int resourceId, Rect rect, const char* caption) {
  auto drawable = std::make_unique<T>();
  drawable->image = LoadPngResource(resourceId);
  if (!drawable->image) FailOnMissingResource(resourceId, caption);
  drawable->resourceId = resourceId;
  drawable->owner = owner;
  drawable->SetRect(rect);
  return drawable.release();
}

}  // namespace

void DrawImagePart(platform::Canvas& canvas, const platform::Image& image, uint32_t color,
                   const platform::RectF& destination, const platform::RectF& source) {
  canvas.DrawImage(image, destination, source, color);
}

void MyImage::SetRect(Rect rect) {
  if (rect.width < 0) rect.width = image->Width();
  if (rect.height < 0) rect.height = image->Height();
  Drawable::SetRect(rect);
}

void MyImage::Draw(platform::Canvas& canvas) {
  const float iw = static_cast<float>(image->Width());
  const float ih = static_cast<float>(image->Height());
  DrawImagePart(canvas, *image, color,
                {static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                 static_cast<float>(height)},
                {0, 0, iw, ih});
}

void MySlice9Image::Draw(platform::Canvas& canvas) {
  const float X = static_cast<float>(x), Y = static_cast<float>(y);
  const float W = static_cast<float>(width), H = static_cast<float>(height);
  const float IW = static_cast<float>(image->Width()), IH = static_cast<float>(image->Height());
  const float l = static_cast<float>(insets.left), t = static_cast<float>(insets.top);
  const float r = static_cast<float>(insets.right), b = static_cast<float>(insets.bottom);

  // Insets never exceed the rect; the right and bottom ones get what the left and top left over.
  const float L = W > l ? l : W;
  const float T = H > t ? t : H;
  const float restW = std::max(W - L, 0.0f), restH = std::max(H - T, 0.0f);
  const float R = restW > r ? r : restW;
  const float B = restH > b ? b : restH;

  auto piece = [&](platform::RectF d, platform::RectF s) { DrawImagePart(canvas, *image, color, d, s); };
  piece({X, Y, L, T}, {0, 0, L, T});
  piece({X + W - R, Y, R, T}, {IW - R, 0, R, T});
  piece({X, Y + H - B, L, B}, {0, IH - B, L, B});
  piece({X + W - R, Y + H - B, R, B}, {IW - R, IH - B, R, B});
  piece({X + L, Y + T, W - L - R, H - T - B}, {L, T, IW - L - R, IH - T - B});
  piece({X + L, Y, W - L - R, T}, {L, 0, IW - L - R, T});
  piece({X + L, Y + H - B, W - L - R, B}, {L, IH - B, IW - L - R, B});
  piece({X, Y + T, L, H - T - B}, {0, T, L, IH - T - B});
  piece({X + W - R, Y + T, R, H - T - B}, {IW - R, T, R, IH - T - B});
}

MyImage* CreateImage(WindowHandle owner, int resourceId, Rect rect) {
  MyImage* image = CreateImageDrawable<MyImage>(owner, resourceId, rect, "图片加载出错");
  drawableList.push_back(image);
  return image;
}

MySlice9Image* CreateSlice9Image(WindowHandle owner, int resourceId, Rect rect, Insets insets) {
  MySlice9Image* image =
      CreateImageDrawable<MySlice9Image>(owner, resourceId, rect, "九宫格图片加载出错");
  image->SetInsets(insets);
  drawableList.push_back(image);
  return image;
}

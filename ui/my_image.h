#pragma once
// Image drawables: MyImage scales the whole image into its rect; MySlice9Image draws it as a
// nine-slice (corners unscaled, edges and centre stretched). Both are tinted by color.

#include <memory>

#include "platform/canvas.h"
#include "ui/drawable.h"

// The embedded PNG with the id, decoded; null when the executable holds no such resource.
// Undecodable bytes still give an image object, of size 0 x 0.
std::unique_ptr<platform::Image> LoadPngResource(int resourceId);

// The one drawing primitive of the image drawables: the source rect (image pixels) scaled into the
// destination rect, through the diagonal colour matrix of color.
void DrawImagePart(platform::Canvas& canvas, const platform::Image& image, uint32_t color,
                   const platform::RectF& destination, const platform::RectF& source);

class MyImage : public Drawable {
 public:
  void Draw(platform::Canvas& canvas) override;
  // A negative width or height takes the image's own.
  void SetRect(Rect rect) override;

  int32_t resourceId = 0;
  std::unique_ptr<platform::Image> image;
};

struct Insets {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class MySlice9Image : public MyImage {
 public:
  void Draw(platform::Canvas& canvas) override;
  void SetInsets(Insets value) {
    insets = value;
    dirty = true;
  }

  Insets insets;
};

// Both end the process after an error box when the resource is missing.
MyImage* CreateImage(WindowHandle owner, int resourceId, Rect rect);
MySlice9Image* CreateSlice9Image(WindowHandle owner, int resourceId, Rect rect, Insets insets);

#include "resources/embedded_png.h"
#include "ui/my_image.h"

std::unique_ptr<platform::Image> LoadPngResource(int resourceId) {
  const EmbeddedBytes bytes = FindEmbeddedPng(resourceId);
  if (bytes.data == nullptr || bytes.size == 0) return nullptr;
  return platform::DecodePngImage(bytes.data, bytes.size);
}

#pragma once
// The PNG artwork compiled into the executable, found by resource id (the "PNG" resources of the
// Windows build; on every platform the same bytes come from a generated array).

#include <cstddef>

struct EmbeddedBytes {
  const unsigned char* data = nullptr;
  size_t size = 0;
};

// The bytes of the PNG with the id; empty when the executable holds none.
EmbeddedBytes FindEmbeddedPng(int resourceId);

// The Windows executable carries its artwork as "PNG" resources (resources/tidewake.rc) instead
// of the generated arrays of other builds. A locked resource stays valid while the module is
// loaded, so the bytes are handed out without a copy.

#include <windows.h>

#include "resources/embedded_png.h"

EmbeddedBytes FindEmbeddedPng(int resourceId) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"PNG");
  if (found == nullptr) return {};
  const DWORD size = SizeofResource(module, found);
  if (size == 0) return {};
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return {};
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return {};
  return {static_cast<const unsigned char*>(bytes), size};
}

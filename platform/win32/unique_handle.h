#pragma once
// Owners for what the Win32 backend opens: each handle is held by one of these from the moment it
// exists, so every way out of a function closes it exactly once and none is closed by hand. A
// handle meant to outlive its owner leaves through release(), with a comment saying why.

#include <windows.h>
// windows.h first.
#include <unknwn.h>

#include <memory>
#include <utility>

namespace platform {

// A move-only owner of one handle value. Traits name the Value type, the Invalid() value that
// stands for none, and Close(Value).
template <typename Traits>
class UniqueHandle {
 public:
  using Value = typename Traits::Value;

  UniqueHandle() = default;
  explicit UniqueHandle(Value value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Value get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  // Gives up ownership without closing; the caller answers for the handle from then on.
  Value release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(Value value = Traits::Invalid()) {
    const Value old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Value value_ = Traits::Invalid();
};

// Kernel objects that report failure as null: processes, threads, mutexes.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return nullptr; }
  static void Close(Value handle) { ::CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// CreateFile and CreateToolhelp32Snapshot report failure as INVALID_HANDLE_VALUE instead.
struct FileHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Value handle) { ::CloseHandle(handle); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

// FindFirstFile's search handle, which only FindClose ends.
struct FindHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Value handle) { ::FindClose(handle); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

struct GlobalMemoryTraits {
  using Value = HGLOBAL;
  static Value Invalid() { return nullptr; }
  static void Close(Value memory) { ::GlobalFree(memory); }
};
using UniqueGlobalMemory = UniqueHandle<GlobalMemoryTraits>;

// A device context of our own making (CreateCompatibleDC).
struct MemoryDcTraits {
  using Value = HDC;
  static Value Invalid() { return nullptr; }
  static void Close(Value dc) { ::DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// The screen's device context (GetDC of no window), which is released, not deleted.
struct ScreenDcTraits {
  using Value = HDC;
  static Value Invalid() { return nullptr; }
  static void Close(Value dc) { ::ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;

// Bitmaps, brushes, fonts and other GDI objects.
template <typename Object>
struct GdiObjectTraits {
  using Value = Object;
  static Value Invalid() { return nullptr; }
  static void Close(Value object) { ::DeleteObject(object); }
};
template <typename Object>
using UniqueGdiObject = UniqueHandle<GdiObjectTraits<Object>>;

// An object selected into a device context until the selection ends, when whatever was selected
// before comes back: a device context must not be deleted with our objects still in it.
class SelectedObject {
 public:
  SelectedObject() = default;
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (dc_ != nullptr && previous_ != nullptr) ::SelectObject(dc_, previous_);
  }
  SelectedObject(SelectedObject&& other) noexcept
      : dc_(std::exchange(other.dc_, nullptr)),
        previous_(std::exchange(other.previous_, nullptr)) {}
  SelectedObject& operator=(SelectedObject&& other) noexcept {
    SelectedObject(std::move(other)).Swap(*this);
    return *this;
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  void Swap(SelectedObject& other) noexcept {
    std::swap(dc_, other.dc_);
    std::swap(previous_, other.previous_);
  }

  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// Memory the system allocated with LocalAlloc for us to free (CommandLineToArgvW's vector).
struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};
template <typename T>
using UniqueLocalPtr = std::unique_ptr<T, LocalFreeDeleter>;

// A COM interface pointer whose reference is ours.
struct ComReleaser {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComReleaser>;

}  // namespace platform

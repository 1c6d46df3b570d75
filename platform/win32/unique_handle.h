#pragma once
// Owners for what the Win32 backend opens: each handle is held by one of these from the moment it
// exists, so every way out of a function closes it exactly once and none is closed by hand. A
// handle meant to outlive its owner leaves through release(), with a comment saying why.

#include <windows.h>

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

// Memory the system allocated with LocalAlloc for us to free (CommandLineToArgvW's vector).
struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};
template <typename T>
using UniqueLocalPtr = std::unique_ptr<T, LocalFreeDeleter>;

}  // namespace platform

#pragma once
// Windows of the splash: the main window and its overlay windows, shaped after the Win32 calls and
// messages the launcher is written against. One window procedure receives the messages of every
// window; the application pumps them from its own frame loop.
//
// Backends: GTK 3 (platform/linux) when a display opens, else headless (platform/headless), which
// composes the same pixels in memory. All calls are for the user-interface thread, except
// PostWindowMessage and PostTask.
//
// Positions and sizes are in device pixels, the screen's own; ScreenScale says how many of them
// make one pixel of a layout drawn for 96 DPI.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/canvas.h"

namespace platform {

struct WindowObject;
using WindowHandle = WindowObject*;

// Four int32 values, as a window or a drawable holds them.
struct Rect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

enum class WindowMessage {
  Move,         // the main window moved (after a drag or SetWindowPos)
  Paint,        // the window was invalidated: compose it now (PaintLayeredWindow)
  Close,        // the user or the system asks the window to close; nothing is destroyed
  Destroy,      // the window is gone
  LButtonDown,  // left button pressed: keyState, x, y in client pixels
  Wake,         // a second copy of the program asked this one to come to the front
};

// Key-state word of a button message (the MK_* flags).
enum : uint32_t {
  kMkLButton = 0x1,
  kMkRButton = 0x2,
  kMkShift = 0x4,
  kMkControl = 0x8,
  kMkMButton = 0x10,
};

struct MessageParams {
  uint32_t keyState = 0;
  int32_t x = 0;
  int32_t y = 0;
};

using WindowProcedure =
    std::function<void(WindowHandle window, WindowMessage message, const MessageParams& params)>;

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // "gtk" or "headless".
  virtual const char* Name() const = 0;

  // The one procedure for every window; install it before creating windows.
  virtual void SetWindowProcedure(WindowProcedure procedure) = 0;

  // A visible, borderless, per-pixel-alpha top-level window of the size, at an arbitrary place.
  // iconPng: the PNG of the window icon, may be empty.
  virtual WindowHandle CreateMainWindow(const std::string& title, int32_t width, int32_t height,
                                        const unsigned char* iconPng, size_t iconPngSize) = 0;
  // A transparent overlay owned by the main window, above every earlier overlay, of size 0 x 0
  // until the first SetWindowPos.
  virtual WindowHandle CreateOverlayWindow(WindowHandle owner) = 0;

  // GetWindowRect: screen position and size.
  virtual Rect WindowRect(WindowHandle window) const = 0;
  // The primary screen (GetSystemMetrics SM_CXSCREEN / SM_CYSCREEN).
  virtual Rect ScreenRect() const = 0;
  // Device pixels per layout pixel on the primary screen, where the splash opens: 1 at 96 DPI,
  // 1.5 at 144 DPI (Windows, the process being per-monitor DPI aware), the GDK scale on GTK.
  virtual float ScreenScale() const { return 1; }
  // SetWindowPos: moves and sizes the window; toTop also puts an overlay above all others.
  virtual void SetWindowPos(WindowHandle window, const Rect& rect, bool toTop) = 0;

  // InvalidateRect without erasing: a Paint message for the window follows once no other message
  // is pending.
  virtual void Invalidate(WindowHandle window) = 0;
  // A new fully transparent surface for composing one window.
  virtual std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) = 0;
  // UpdateLayeredWindow: the surface becomes the window's whole content.
  virtual void Present(WindowHandle window, std::unique_ptr<Surface> surface) = 0;

  // Starts moving the main window with the pointer (the caption drag of SC_MOVE | HTCAPTION).
  virtual void BeginDrag(WindowHandle window) = 0;
  // SetForegroundWindow + BringWindowToTop.
  virtual void BringToFront(WindowHandle window) = 0;

  // PostMessage: from any thread; delivered by PeekAndDispatch on the user-interface thread.
  virtual void PostWindowMessage(WindowHandle window, WindowMessage message,
                                 const MessageParams& params = {}) = 0;
  // Runs the task on the user-interface thread from PeekAndDispatch; from any thread.
  virtual void PostTask(std::function<void()> task) = 0;

  // PeekMessage + DispatchMessage: handles at most one pending event, message or task, and
  // returns whether there was one. Paint messages come only when nothing else is pending.
  virtual bool PeekAndDispatch() = 0;

  // What the screen shows of the splash: the main window with its overlays composed in stacking
  // order, as straight ARGB pixels of the main window's size.
  virtual PixelBuffer ComposedPixels() = 0;
  // The same, written as an 8-bit RGBA PNG file.
  virtual bool WriteComposedPng(const std::string& path) = 0;
};

// The GTK backend when a display can be opened (argc/argv may be null), else the headless one.
// Also installs the backend's message boxes (GTK dialogs when there is a display).
std::unique_ptr<WindowSystem> CreateWindowSystem(int* argc, char*** argv);
// Always the headless backend; screenScale stands for the scale of a high-DPI screen.
std::unique_ptr<WindowSystem> CreateHeadlessWindowSystem(float screenScale = 1);

// The window system that the drawing code uses (set by the application after creating it).
void SetCurrentWindowSystem(WindowSystem* windows);
WindowSystem& CurrentWindowSystem();

}  // namespace platform

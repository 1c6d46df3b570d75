// The splash as real layered windows: the "Tidewake" main window and one owned "BaseForm" popup
// per overlay, each showing the surface last pushed with UpdateLayeredWindow. One window
// procedure turns the Win32 messages into the seam's messages. Tasks and messages from other
// threads wait in a locked queue; a posted nudge to a message-only window gets them run on the
// user-interface thread, also while a modal loop (a window drag) runs.

#include <windows.h>
// windows.h first.
#include <imm.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/paint_fairness.h"
#include "platform/win32/gdiplus_surface.h"
#include "platform/win32/wide_text.h"
#include "platform/window_system.h"
#include "resources/resource_ids.h"

namespace platform {
namespace {

constexpr wchar_t kFormClassName[] = L"BaseForm";
constexpr wchar_t kTaskClassName[] = L"TidewakeTasks";
// The caption drag: SC_MOVE with HTCAPTION in its low bits.
constexpr WPARAM kDragCommand = 0xF012;
constexpr UINT kRunTaskMessage = WM_APP + 1;

HWND Hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle Handle(HWND hwnd) { return reinterpret_cast<WindowHandle>(hwnd); }

class Win32WindowSystem;
// The window procedure is a plain function; it reaches the one window system through this.
Win32WindowSystem* activeSystem = nullptr;

// The manifest makes the process per-monitor DPI aware, so the system no longer stretches our
// windows and tells the monitor's real DPI. GetDpiForMonitor (shcore) exists from Windows 8.1
// on; it is looked up, not linked, so that the launcher still starts on older systems, which
// have one DPI for every monitor.
UINT PrimaryMonitorDpi() {
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  // Kept loaded for the process: the function pointer stays valid.
  static const GetDpiForMonitorFunction getDpiForMonitor = [] {
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    return shcore == nullptr ? nullptr
                             : reinterpret_cast<GetDpiForMonitorFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
  }();
  constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
  UINT dpiX = 0, dpiY = 0;
  HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (getDpiForMonitor != nullptr && getDpiForMonitor(primary, kEffectiveDpi, &dpiX, &dpiY) == S_OK) {
    return dpiX;
  }
  const UniqueScreenDc screen(GetDC(nullptr));
  return screen ? static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX)) : 0;
}

class Win32WindowSystem : public WindowSystem {
 public:
  Win32WindowSystem() : instance_(GetModuleHandleW(nullptr)) {
    activeSystem = this;
    wakeMessage_ = RegisterWindowMessageA("WAVO__Mutex__EH");
    WNDCLASSEXW tasks{};
    tasks.cbSize = sizeof tasks;
    tasks.lpfnWndProc = &Win32WindowSystem::WindowProc;
    tasks.hInstance = instance_;
    tasks.lpszClassName = kTaskClassName;
    RegisterClassExW(&tasks);
    taskWindow_ = CreateWindowExW(0, kTaskClassName, kTaskClassName, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, instance_, nullptr);
  }

  ~Win32WindowSystem() override {
    procedure_ = nullptr;
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    if (taskWindow_ != nullptr) DestroyWindow(taskWindow_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassW(kFormClassName, instance_);
    UnregisterClassW(kTaskClassName, instance_);
    if (!mainClass_.empty()) UnregisterClassW(mainClass_.c_str(), instance_);
    if (activeSystem == this) activeSystem = nullptr;
  }

  const char* Name() const override { return "win32"; }

  void SetWindowProcedure(WindowProcedure procedure) override { procedure_ = std::move(procedure); }

  WindowHandle CreateMainWindow(const std::string& title, int32_t width, int32_t height,
                                const unsigned char* /*iconPng*/, size_t /*iconPngSize*/) override {
    // The icon comes from the executable's own icon resource, not from PNG bytes.
    const std::wstring name = GbkToWide(title);  // a built-in text
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &Win32WindowSystem::WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconResource));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
    windowClass.lpszClassName = name.c_str();
    if (RegisterClassExW(&windowClass) == 0) return nullptr;
    mainClass_ = name;
    // The per-pixel content pushed with UpdateLayeredWindow is the window's whole appearance.
    HWND hwnd = CreateWindowExW(WS_EX_LAYERED, name.c_str(), name.c_str(),
                                WS_VISIBLE | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, width,
                                height, nullptr, nullptr, instance_, nullptr);
    if (hwnd == nullptr) return nullptr;
    main_ = hwnd;
    windows_.push_back(hwnd);
    ImmAssociateContext(hwnd, nullptr);
    return Handle(hwnd);
  }

  WindowHandle CreateOverlayWindow(WindowHandle owner) override {
    WNDCLASSEXW formClass{};
    formClass.cbSize = sizeof formClass;
    formClass.style = CS_HREDRAW | CS_VREDRAW;
    formClass.lpfnWndProc = &Win32WindowSystem::WindowProc;
    formClass.hInstance = instance_;
    formClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    formClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
    formClass.lpszClassName = kFormClassName;
    // Registered for every form; once the class exists the call fails, which is fine.
    RegisterClassExW(&formClass);
    HWND hwnd = CreateWindowExW(WS_EX_LAYERED, kFormClassName, kFormClassName,
                                WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, Hwnd(owner), nullptr, instance_,
                                nullptr);
    if (hwnd != nullptr) windows_.push_back(hwnd);
    return Handle(hwnd);
  }

  Rect WindowRect(WindowHandle window) const override {
    RECT r{};
    if (window == nullptr || !GetWindowRect(Hwnd(window), &r)) return {};
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }

  Rect ScreenRect() const override {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }

  float ScreenScale() const override {
    const UINT dpi = PrimaryMonitorDpi();
    return dpi == 0 ? 1.0f : static_cast<float>(dpi) / static_cast<float>(USER_DEFAULT_SCREEN_DPI);
  }

  void SetWindowPos(WindowHandle window, const Rect& rect, bool /*toTop*/) override {
    if (window == nullptr) return;
    // The main window is placed once, as it opens, and comes forward then.
    if (Hwnd(window) == main_) {
      ::SetWindowPos(main_, HWND_TOP, rect.x, rect.y, rect.width, rect.height, 0);
      return;
    }
    // Forms are placed on every frame. A placement that activates would take the keyboard
    // from a box a worker shows, and even an unchanged one costs a round trip to the system:
    // a form is touched only when it is out of place or our windows are out of order, and
    // never activated. HWND_TOP keeps each form above the main window that owns it.
    const Rect now = WindowRect(window);
    const bool placed = now.x == rect.x && now.y == rect.y && now.width == rect.width &&
                        now.height == rect.height;
    if (placed && StackedInCreationOrder(Hwnd(window))) return;
    ::SetWindowPos(Hwnd(window), HWND_TOP, rect.x, rect.y, rect.width, rect.height,
                   SWP_NOACTIVATE);
  }

  void Invalidate(WindowHandle window) override {
    if (window != nullptr) InvalidateRect(Hwnd(window), nullptr, FALSE);
  }

  std::unique_ptr<Surface> CreateSurface(int32_t width, int32_t height) override {
    return std::make_unique<GdiplusSurface>(width, height);
  }

  void Present(WindowHandle window, std::unique_ptr<Surface> surface) override {
    if (window == nullptr || surface == nullptr) return;
    std::unique_ptr<GdiplusSurface> content(static_cast<GdiplusSurface*>(surface.release()));
    content->FinishDrawing();
    if (content->dc() != nullptr) {
      const Rect rect = WindowRect(window);
      const UniqueScreenDc screen(GetDC(nullptr));
      POINT destination{rect.x, rect.y};
      SIZE size{content->Width(), content->Height()};
      POINT origin{0, 0};
      BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      UpdateLayeredWindow(Hwnd(window), screen.get(), &destination, &size, content->dc(), &origin,
                          0, &blend, ULW_ALPHA);
    }
    // Kept only so that the composed splash can be read back; a layered window's pixels cannot
    // be asked from the system.
    presented_[Hwnd(window)] = std::move(content);
    fairness_.Presented(window);
  }

  void BeginDrag(WindowHandle window) override {
    if (window != nullptr) PostMessageW(Hwnd(window), WM_SYSCOMMAND, kDragCommand, 0);
  }

  void BringToFront(WindowHandle window) override {
    if (window == nullptr) return;
    SetForegroundWindow(Hwnd(window));
    BringWindowToTop(Hwnd(window));
  }

  void PostWindowMessage(WindowHandle window, WindowMessage message,
                         const MessageParams& params) override {
    HWND hwnd = Hwnd(window);
    switch (message) {
      case WindowMessage::Move: {
        const Rect rect = WindowRect(window);
        PostMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(rect.x, rect.y));
        return;
      }
      case WindowMessage::Paint:
        InvalidateRect(hwnd, nullptr, FALSE);
        return;
      case WindowMessage::Close:
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return;
      case WindowMessage::LButtonDown:
        PostMessageW(hwnd, WM_LBUTTONDOWN, params.keyState,
                     MAKELPARAM(static_cast<WORD>(params.x), static_cast<WORD>(params.y)));
        return;
      case WindowMessage::Wake:
        PostMessageW(hwnd, wakeMessage_, 0, 0);
        return;
      case WindowMessage::Destroy:
        // Only the system destroys windows; the message still reaches the procedure in order.
        PostTask([this, window, params] { Deliver(window, WindowMessage::Destroy, params); });
        return;
    }
  }

  void PostTask(std::function<void()> task) override {
    {
      std::lock_guard lock(tasksMutex_);
      tasks_.push_back(std::move(task));
    }
    // A lost nudge (a full queue) only delays the task: PeekAndDispatch also looks at the queue.
    PostMessageW(taskWindow_, kRunTaskMessage, 0, 0);
  }

  bool PeekAndDispatch() override {
    MSG msg;
    // The system would hand out paint messages in its own order; PaintFairness picks instead.
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message == WM_PAINT) {
      HWND fair = LongestWaitingInvalidWindow();
      if (fair != nullptr && PeekMessageW(&msg, fair, WM_PAINT, WM_PAINT, PM_REMOVE)) {
        DispatchMessageW(&msg);
        return true;
      }
    }
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // The application ends its loop through its own quit flag; a quit message has no more to do.
      if (msg.message != WM_QUIT) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      return true;
    }
    return RunOneTask();
  }

  PixelBuffer ComposedPixels() override {
    const Rect mainRect = WindowRect(Handle(main_));
    auto found = presented_.find(main_);
    if (main_ == nullptr || mainRect.width <= 0 || mainRect.height <= 0) return {};
    std::vector<uint32_t> composed(static_cast<size_t>(mainRect.width) * mainRect.height, 0);
    if (found != presented_.end()) Over(composed, mainRect, *found->second, mainRect);
    for (HWND form : FormsBottomToTop()) {
      auto content = presented_.find(form);
      if (content == presented_.end() || !IsWindowVisible(form)) continue;
      Over(composed, mainRect, *content->second, WindowRect(Handle(form)));
    }
    return StraightPixels(composed.data(), mainRect.width, mainRect.height);
  }

  bool WriteComposedPng(const std::string& path) override {
    return WritePngFile(ComposedPixels(), path);
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32WindowSystem* self = activeSystem;
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(hwnd, message, wParam, lParam);
  }

 private:
  LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == taskWindow_ && taskWindow_ != nullptr) {
      if (message == kRunTaskMessage) {
        RunOneTask();
        return 0;
      }
      return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    switch (message) {
      case WM_MOVE:
        if (hwnd == main_) Deliver(Handle(hwnd), WindowMessage::Move);
        return DefWindowProcW(hwnd, message, wParam, lParam);
      case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        ImmAssociateContext(hwnd, nullptr);
        Deliver(Handle(hwnd), WindowMessage::Paint);
        EndPaint(hwnd, &paint);
        return DefWindowProcW(hwnd, message, wParam, lParam);
      }
      case WM_CLOSE:
        Deliver(Handle(hwnd), WindowMessage::Close);
        return 0;
      case WM_DESTROY:
        Deliver(Handle(hwnd), WindowMessage::Destroy);
        return 0;
      case WM_LBUTTONDOWN: {
        MessageParams params;
        params.keyState = static_cast<uint32_t>(wParam);
        params.x = static_cast<int32_t>(static_cast<uint32_t>(lParam) & 0xFFFF);
        params.y = static_cast<int32_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF);
        Deliver(Handle(hwnd), WindowMessage::LButtonDown, params);
        return 0;
      }
      default:
        break;
    }
    if (message == wakeMessage_ && wakeMessage_ != 0 && hwnd == main_) {
      Deliver(Handle(hwnd), WindowMessage::Wake);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void Deliver(WindowHandle window, WindowMessage message, const MessageParams& params = {}) {
    if (procedure_) procedure_(window, message, params);
  }

  bool RunOneTask() {
    std::function<void()> task;
    {
      std::lock_guard lock(tasksMutex_);
      if (tasks_.empty()) return false;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    return true;
  }

  // Of the windows with an update region, the one presented longest ago.
  HWND LongestWaitingInvalidWindow() {
    invalid_.clear();
    for (HWND hwnd : windows_) {
      if (GetUpdateRect(hwnd, nullptr, FALSE)) invalid_.push_back(Handle(hwnd));
    }
    return Hwnd(fairness_.Next(invalid_));
  }

  // True when the window lies directly on the one of ours made before it and directly under
  // the one made after it (main window lowest, each form above the earlier ones). Hidden
  // windows of others, such as the system's input-method windows, do not count.
  bool StackedInCreationOrder(HWND hwnd) const {
    const auto at = std::find(windows_.begin(), windows_.end(), hwnd);
    if (at == windows_.end()) return true;
    const HWND below = at == windows_.begin() ? nullptr : *(at - 1);
    const HWND above = at + 1 == windows_.end() ? nullptr : *(at + 1);
    return (below == nullptr || Neighbour(hwnd, GW_HWNDNEXT) == below) &&
           (above == nullptr || Neighbour(hwnd, GW_HWNDPREV) == above);
  }

  HWND Neighbour(HWND hwnd, UINT direction) const {
    for (HWND next = GetWindow(hwnd, direction); next != nullptr; next = GetWindow(next, direction)) {
      if (IsWindowVisible(next) || std::find(windows_.begin(), windows_.end(), next) != windows_.end()) {
        return next;
      }
    }
    return nullptr;
  }

  // The overlay windows in stacking order, lowest first.
  std::vector<HWND> FormsBottomToTop() const {
    std::vector<HWND> order;
    HWND top = GetTopWindow(nullptr);
    for (HWND hwnd = top; hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
      if (hwnd != main_ && std::find(windows_.begin(), windows_.end(), hwnd) != windows_.end()) {
        order.push_back(hwnd);
      }
    }
    std::reverse(order.begin(), order.end());
    return order;
  }

  // Lays the premultiplied surface, placed at its window's rectangle, over the composition.
  static void Over(std::vector<uint32_t>& composed, const Rect& target, const GdiplusSurface& layer,
                   const Rect& placed) {
    const uint32_t* bits = layer.bits();
    if (bits == nullptr) return;
    const int32_t dx = placed.x - target.x, dy = placed.y - target.y;
    for (int32_t y = 0; y < layer.Height(); ++y) {
      const int32_t ty = y + dy;
      if (ty < 0 || ty >= target.height) continue;
      for (int32_t x = 0; x < layer.Width(); ++x) {
        const int32_t tx = x + dx;
        if (tx < 0 || tx >= target.width) continue;
        const uint32_t src = bits[static_cast<size_t>(y) * layer.Width() + x];
        const uint32_t srcAlpha = src >> 24;
        if (srcAlpha == 0) continue;
        uint32_t& dst = composed[static_cast<size_t>(ty) * target.width + tx];
        if (srcAlpha == 255) {
          dst = src;
          continue;
        }
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          const uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
          const uint32_t c = s + (d * (255 - srcAlpha) + 127) / 255;
          out |= (c > 255 ? 255u : c) << shift;
        }
        dst = out;
      }
    }
  }

  HINSTANCE instance_;
  UINT wakeMessage_ = 0;
  WindowProcedure procedure_;
  HWND taskWindow_ = nullptr;
  HWND main_ = nullptr;
  std::wstring mainClass_;
  std::vector<HWND> windows_;  // creation order
  std::map<HWND, std::unique_ptr<GdiplusSurface>> presented_;
  PaintFairness fairness_;
  std::vector<WindowHandle> invalid_;  // reused: asked again for every paint message
  std::mutex tasksMutex_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace

std::unique_ptr<WindowSystem> CreateWindowSystem(int* /*argc*/, char*** /*argv*/) {
  // GDI+ runs from the first window system to the end of the process: every image and text of
  // the splash needs it. A second copy of the launcher ends before it gets here.
  static const bool gdiplusStarted = [] {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread on
    ULONG_PTR token = 0;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  (void)gdiplusStarted;
  return std::make_unique<Win32WindowSystem>();
}

}  // namespace platform

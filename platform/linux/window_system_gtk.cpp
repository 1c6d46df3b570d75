// The splash on screen: one undecorated GTK window with the RGBA visual shows the composed layer
// stack. Without a compositing manager transparent pixels would be black, so the window is then
// cut to the opaque pixels with a shape mask instead.
//
// GTK places windows and reports the pointer in its own pixels, GDK_SCALE device pixels each;
// the seam speaks device pixels, so positions are converted here and the composition, made at
// the screen's density, is pasted one to one.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>

#include "platform/clock.h"
#include "platform/linux/composing_window_system.h"
#include "platform/linux/gtk_message_boxes.h"
#include "platform/linux/gtk_module.h"

namespace platform {
namespace {

class GtkWindowSystem : public ComposingWindowSystem {
 public:
  GtkWindowSystem()
      : boxes_(InstallGtkMessageBoxes([this](std::function<void()> task) {
          PostTask(std::move(task));
        })) {}
  ~GtkWindowSystem() override {
    UninstallGtkMessageBoxes(boxes_);
    if (window_ != nullptr) {
      g_signal_handlers_disconnect_by_data(window_, this);
      gtk_widget_destroy(window_);
    }
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }

  const char* Name() const override { return "gtk"; }

  WindowHandle CreateMainWindow(const std::string& title, int32_t width, int32_t height,
                                const unsigned char* iconPng, size_t iconPngSize) override {
    WindowObject* layer = AddMainLayer(width, height);
    scale_ = static_cast<int32_t>(ScreenScale());
    const Rect size = ToGtk({0, 0, width, height});
    width = size.width;
    height = size.height;
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gtkWindow = GTK_WINDOW(window_);
    gtk_window_set_title(gtkWindow, title.c_str());
    gtk_window_set_decorated(gtkWindow, FALSE);
    gtk_window_set_resizable(gtkWindow, FALSE);
    gtk_window_set_default_size(gtkWindow, width, height);
    gtk_widget_set_size_request(window_, width, height);
    gtk_widget_set_app_paintable(window_, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(window_);
    GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
    if (rgba != nullptr) gtk_widget_set_visual(window_, rgba);
    perPixelAlpha_ = rgba != nullptr && gdk_screen_is_composited(screen);
    SetIcon(iconPng, iconPngSize);
    gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(window_, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(window_, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);
    g_signal_connect(screen, "composited-changed", G_CALLBACK(OnCompositedChanged), this);
    gtk_window_move(gtkWindow, 0, 0);
    gtk_widget_show(window_);
    return layer;
  }

  Rect ScreenRect() const override {
    GdkMonitor* monitor = PrimaryMonitor();
    if (monitor == nullptr) return {0, 0, 0, 0};
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    const int32_t scale = gdk_monitor_get_scale_factor(monitor);
    return {area.x * scale, area.y * scale, area.width * scale, area.height * scale};
  }

  float ScreenScale() const override {
    GdkMonitor* monitor = PrimaryMonitor();
    return monitor == nullptr ? 1.0f : static_cast<float>(gdk_monitor_get_scale_factor(monitor));
  }

  void BeginDrag(WindowHandle /*window*/) override {
    if (window_ == nullptr || !press_.valid) return;
    press_.valid = false;
    gtk_window_begin_move_drag(GTK_WINDOW(window_), static_cast<gint>(press_.button),
                               press_.rootX, press_.rootY, press_.time);
  }

  void BringToFront(WindowHandle /*window*/) override {
    if (window_ == nullptr) return;
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    guint32 time = GDK_CURRENT_TIME;
    if (gdkWindow != nullptr && GDK_IS_X11_WINDOW(gdkWindow)) {
      time = gdk_x11_get_server_time(gdkWindow);
    }
    gtk_window_present_with_time(GTK_WINDOW(window_), time);
  }

  bool PeekAndDispatch() override {
    ShowComposition();
    // An idle frame loop asks about a thousand times a second; each GLib iteration costs a poll
    // and two reads on the X connection. Asking every few milliseconds once the queue ran dry
    // keeps an idle splash cheap, and a burst of events is still handled back to back.
    const int64_t now = PerformanceCounter();
    if (now >= nextEventPoll_) {
      if (g_main_context_iteration(nullptr, FALSE)) return true;
      nextEventPoll_ = now + PerformanceFrequency() * kEventPollMs / 1000;
    }
    return DispatchOwnQueue();
  }

 protected:
  void MoveMainWindow(const Rect& rect) override {
    if (window_ == nullptr) return;
    const Rect place = ToGtk(rect);
    gtk_window_move(GTK_WINDOW(window_), place.x, place.y);
  }

 private:
  struct Press {
    bool valid = false;
    guint button = 0;
    gint rootX = 0;
    gint rootY = 0;
    guint32 time = 0;
  };

  static GdkMonitor* PrimaryMonitor() {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
  }

  // Device pixels to GTK's, rounded outwards.
  Rect ToGtk(const Rect& r) const {
    if (scale_ == 1) return r;
    const auto down = [this](int32_t v) {
      return static_cast<int32_t>(std::floor(static_cast<double>(v) / scale_));
    };
    const auto up = [this](int32_t v) {
      return static_cast<int32_t>(std::ceil(static_cast<double>(v) / scale_));
    };
    const int32_t left = down(r.x), top = down(r.y);
    return {left, top, up(r.x + r.width) - left, up(r.y + r.height) - top};
  }

  // The shape in GTK's pixels; GDK multiplies it out again for the X server.
  CairoPtr<cairo_region_t> ShapeForGtk(const cairo_region_t* shape) const {
    CairoPtr<cairo_region_t> converted(cairo_region_create());
    const int count = cairo_region_num_rectangles(shape);
    for (int i = 0; i < count; ++i) {
      cairo_rectangle_int_t r;
      cairo_region_get_rectangle(shape, i, &r);
      const Rect g = ToGtk({r.x, r.y, r.width, r.height});
      const cairo_rectangle_int_t area{g.x, g.y, g.width, g.height};
      cairo_region_union_rectangle(converted.get(), &area);
    }
    return converted;
  }

  void ApplyShape() {
    if (scale_ == 1) {
      gtk_widget_shape_combine_region(window_, shape_.get());
      return;
    }
    const CairoPtr<cairo_region_t> shape = ShapeForGtk(shape_.get());
    gtk_widget_shape_combine_region(window_, shape.get());
  }

  void SetIcon(const unsigned char* png, size_t size) {
    if (png == nullptr || size == 0) return;
    const GObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", nullptr));
    if (loader == nullptr) return;
    if (gdk_pixbuf_loader_write(loader.get(), png, size, nullptr) &&
        gdk_pixbuf_loader_close(loader.get(), nullptr)) {
      // The loader's own: the window takes a reference of its own.
      GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader.get());
      if (icon != nullptr) gtk_window_set_icon(GTK_WINDOW(window_), icon);
    }
  }

  // Recomposes the changed part of the stack and has GTK paste that part on its next frame.
  void ShowComposition() {
    if (window_ == nullptr || !compositor().NeedsCompose()) return;
    cairo_surface_t* composed = compositor().Compose();
    const Rect damage = compositor().lastDamage();
    if (composed == nullptr || damage.width <= 0 || damage.height <= 0) return;
    if (!perPixelAlpha_) UpdateShape(composed, damage);
    const Rect area = ToGtk(damage);
    gtk_widget_queue_draw_area(window_, area.x, area.y, area.width, area.height);
  }

  // Without a compositing manager the window is cut to the pixels that are not transparent.
  // Only the damaged part is rescanned, and the server hears of the shape only when it changed.
  void UpdateShape(cairo_surface_t* composed, const Rect& damage) {
    CairoPtr<cairo_region_t> shape(shape_ == nullptr ? cairo_region_create()
                                                      : cairo_region_copy(shape_.get()));
    const cairo_rectangle_int_t area{damage.x, damage.y, damage.width, damage.height};
    cairo_region_subtract_rectangle(shape.get(), &area);
    const CairoPtr<cairo_surface_t> part(cairo_surface_create_for_rectangle(
        composed, damage.x, damage.y, damage.width, damage.height));
    const CairoPtr<cairo_region_t> partShape(gdk_cairo_region_create_from_surface(part.get()));
    cairo_region_translate(partShape.get(), damage.x, damage.y);
    cairo_region_union(shape.get(), partShape.get());
    if (shape_ != nullptr && cairo_region_equal(shape.get(), shape_.get())) return;
    shape_ = std::move(shape);
    ApplyShape();
  }

  static gboolean OnDraw(GtkWidget* /*widget*/, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    self->ShowComposition();
    cairo_surface_t* composed = self->compositor().composed();
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    // The context counts in GTK's pixels: one composed pixel per device pixel.
    cairo_scale(cr, 1.0 / self->scale_, 1.0 / self->scale_);
    if (composed != nullptr) {
      cairo_set_source_surface(cr, composed, 0, 0);
    } else {
      cairo_set_source_rgba(cr, 0, 0, 0, 0);
    }
    cairo_paint(cr);
    return TRUE;
  }

  static gboolean OnButtonPress(GtkWidget* /*widget*/, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
    self->press_ = {true, event->button, static_cast<gint>(event->x_root),
                    static_cast<gint>(event->y_root), event->time};
    uint32_t keyState = kMkLButton;
    if (event->state & GDK_SHIFT_MASK) keyState |= kMkShift;
    if (event->state & GDK_CONTROL_MASK) keyState |= kMkControl;
    if (event->state & GDK_BUTTON2_MASK) keyState |= kMkMButton;
    if (event->state & GDK_BUTTON3_MASK) keyState |= kMkRButton;
    self->Deliver(self->mainLayer(), WindowMessage::LButtonDown,
                  {keyState, static_cast<int32_t>(event->x * self->scale_),
                   static_cast<int32_t>(event->y * self->scale_)});
    return TRUE;
  }

  static gboolean OnConfigure(GtkWidget* /*widget*/, GdkEventConfigure* event, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    WindowObject* main = self->mainLayer();
    const int32_t x = event->x * self->scale_, y = event->y * self->scale_;
    if (main != nullptr && (x != main->rect.x || y != main->rect.y)) {
      main->rect.x = x;
      main->rect.y = y;
      self->Deliver(main, WindowMessage::Move);
    }
    return FALSE;
  }

  static gboolean OnDelete(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    self->Deliver(self->mainLayer(), WindowMessage::Close);
    return TRUE;  // closing only asks; the application decides
  }

  static void OnDestroy(GtkWidget* /*widget*/, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    self->window_ = nullptr;
    self->Deliver(self->mainLayer(), WindowMessage::Destroy);
  }

  static void OnCompositedChanged(GdkScreen* screen, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    if (self->window_ == nullptr) return;
    self->perPixelAlpha_ =
        gdk_screen_get_rgba_visual(screen) != nullptr && gdk_screen_is_composited(screen);
    self->shape_.reset();
    gtk_widget_shape_combine_region(self->window_, nullptr);
    cairo_surface_t* composed = self->compositor().Compose();
    if (!self->perPixelAlpha_ && composed != nullptr) {
      const int32_t width = cairo_image_surface_get_width(composed);
      const int32_t height = cairo_image_surface_get_height(composed);
      self->UpdateShape(composed, {0, 0, width, height});
    }
    gtk_widget_queue_draw(self->window_);
  }

  std::shared_ptr<GtkMessageBoxes> boxes_;
  GtkWidget* window_ = nullptr;
  CairoPtr<cairo_region_t> shape_;
  static constexpr int64_t kEventPollMs = 4;
  int64_t nextEventPoll_ = 0;
  bool perPixelAlpha_ = false;
  Press press_;
  int32_t scale_ = 1;  // device pixels per GTK pixel, taken as the window opens
};

}  // namespace

}  // namespace platform

extern "C" __attribute__((visibility("default"))) platform::WindowSystem*
TidewakeCreateGtkWindowSystem(int* argc, char*** argv) {
  // Only X11 has been tried; a Wayland session still offers XWayland.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(argc, argv)) return nullptr;
  return new platform::GtkWindowSystem();
}

// The splash on screen: one undecorated GTK window with the RGBA visual shows the composed layer
// stack. Without a compositing manager transparent pixels would be black, so the window is then
// cut to the opaque pixels with a shape mask instead.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "platform/linux/composing_window_system.h"
#include "platform/linux/gtk_message_boxes.h"
#include "platform/linux/gtk_window_system.h"

namespace platform {
namespace {

class GtkWindowSystem : public ComposingWindowSystem {
 public:
  GtkWindowSystem() : boxes_(InstallGtkMessageBoxes()) {}
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
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return {0, 0, 0, 0};
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    return {area.x, area.y, area.width, area.height};
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
    if (g_main_context_iteration(nullptr, FALSE)) return true;
    return DispatchOwnQueue();
  }

 protected:
  void MoveMainWindow(const Rect& rect) override {
    if (window_ != nullptr) gtk_window_move(GTK_WINDOW(window_), rect.x, rect.y);
  }

 private:
  struct Press {
    bool valid = false;
    guint button = 0;
    gint rootX = 0;
    gint rootY = 0;
    guint32 time = 0;
  };

  void SetIcon(const unsigned char* png, size_t size) {
    if (png == nullptr || size == 0) return;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (loader == nullptr) return;
    if (gdk_pixbuf_loader_write(loader, png, size, nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
      GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader);
      if (icon != nullptr) gtk_window_set_icon(GTK_WINDOW(window_), icon);
    }
    g_object_unref(loader);
  }

  // Recomposes the stack when a layer changed and has GTK paste it on its next frame.
  void ShowComposition() {
    if (window_ == nullptr || !compositor().NeedsCompose()) return;
    cairo_surface_t* composed = compositor().Compose();
    if (composed == nullptr) return;
    if (!perPixelAlpha_) {
      cairo_region_t* shape = gdk_cairo_region_create_from_surface(composed);
      gtk_widget_shape_combine_region(window_, shape);
      cairo_region_destroy(shape);
    }
    gtk_widget_queue_draw(window_);
  }

  static gboolean OnDraw(GtkWidget* /*widget*/, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    cairo_surface_t* composed = self->compositor().Compose();
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
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
                  {keyState, static_cast<int32_t>(event->x), static_cast<int32_t>(event->y)});
    return TRUE;
  }

  static gboolean OnConfigure(GtkWidget* /*widget*/, GdkEventConfigure* event, gpointer data) {
    auto* self = static_cast<GtkWindowSystem*>(data);
    WindowObject* main = self->mainLayer();
    if (main != nullptr && (event->x != main->rect.x || event->y != main->rect.y)) {
      main->rect.x = event->x;
      main->rect.y = event->y;
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
    if (self->perPixelAlpha_) gtk_widget_shape_combine_region(self->window_, nullptr);
    cairo_surface_t* composed = self->compositor().Compose();
    if (!self->perPixelAlpha_ && composed != nullptr) {
      cairo_region_t* shape = gdk_cairo_region_create_from_surface(composed);
      gtk_widget_shape_combine_region(self->window_, shape);
      cairo_region_destroy(shape);
    }
    gtk_widget_queue_draw(self->window_);
  }

  std::shared_ptr<GtkMessageBoxes> boxes_;
  GtkWidget* window_ = nullptr;
  bool perPixelAlpha_ = false;
  Press press_;
};

}  // namespace

std::unique_ptr<WindowSystem> CreateGtkWindowSystem(int* argc, char*** argv) {
  // Only X11 has been tried; a Wayland session still offers XWayland.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(argc, argv)) return nullptr;
  return std::make_unique<GtkWindowSystem>();
}

std::unique_ptr<WindowSystem> CreateWindowSystem(int* argc, char*** argv) {
  std::unique_ptr<WindowSystem> windows = CreateGtkWindowSystem(argc, argv);
  if (windows) return windows;
  return CreateHeadlessWindowSystem();
}

}  // namespace platform

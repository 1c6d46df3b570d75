// A GTK module for the suites that run the launcher on a display (GTK_MODULES names its path).
// It writes one line per top-level window GTK maps to standard error:
//   [mapped] <CLOCK_MONOTONIC nanoseconds> <title>
// so a suite can put the windows on one time line with what its server saw (steady_clock reads
// the same clock). With TIDEWAKE_TEST_SLOW_GTK_INIT_MS set it also holds GTK's initialisation
// back that long, as a slow X server, theme or font cache does on a player's machine.

#include <gtk/gtk.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

gboolean OnMap(GSignalInvocationHint* /*hint*/, guint count, const GValue* values,
               gpointer /*data*/) {
  if (count == 0) return TRUE;
  auto* object = static_cast<GObject*>(g_value_get_object(&values[0]));
  if (!GTK_IS_WINDOW(object) || !gtk_widget_is_toplevel(GTK_WIDGET(object))) return TRUE;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const char* title = gtk_window_get_title(GTK_WINDOW(object));
  std::fprintf(stderr, "[mapped] %lld %s\n",
               static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
               title != nullptr ? title : "");
  std::fflush(stderr);
  return TRUE;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void gtk_module_init(gint* /*argc*/,
                                                                      gchar*** /*argv*/) {
  // A signal exists once its class does; nothing has made a widget yet.
  g_type_class_ref(GTK_TYPE_WINDOW);
  g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, OnMap, nullptr,
                             nullptr);
  if (const char* slow = std::getenv("TIDEWAKE_TEST_SLOW_GTK_INIT_MS")) {
    g_usleep(static_cast<gulong>(std::atol(slow)) * 1000);
  }
}

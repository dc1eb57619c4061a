#pragma once
// Helpers for in-process GTK tests: a display check, pumping events,
// synthesized keys, and a driver that acts on a modal dialog while it runs.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "messdlgs/dialog_cases.h"

namespace pagimor::testing {

// Set up GTK once per process; false when the tests must be skipped.
inline bool OpenDisplay() {
  if (g_getenv("DISPLAY") == nullptr) return false;
  static const bool opened = [] {
    const bool ok = gtk_init_check(nullptr, nullptr);
    if (ok) g_set_application_name("EBook");
    return ok;
  }();
  return opened;
}

#define PAGIMOR_REQUIRE_DISPLAY()                                                        \
  do {                                                                                   \
    if (g_getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display; run under Xvfb"; \
    ASSERT_TRUE(::pagimor::testing::OpenDisplay()) << "cannot open " << g_getenv("DISPLAY"); \
  } while (false)

// Processes events until the condition holds; false when it still does not
// after a very long while (a hang guard, not a time limit on the behaviour).
inline bool PumpUntil(const std::function<bool()>& done) {
  const gint64 giveUp = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
  while (!done()) {
    if (g_get_monotonic_time() > giveUp) return false;
    if (gtk_events_pending()) {
      gtk_main_iteration_do(FALSE);
    } else {
      g_usleep(1000);
    }
  }
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  return true;
}

inline std::string NameOf(GtkWidget* widget) { return gtk_widget_get_name(widget); }

// The toplevel window of that widget name that is on screen, or null.
inline GtkWindow* MappedWindowNamed(const char* name) {
  GList* all = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* item = all; item != nullptr; item = item->next) {
    GtkWidget* widget = GTK_WIDGET(item->data);
    if (NameOf(widget) == name && gtk_widget_get_mapped(widget)) found = GTK_WINDOW(widget);
  }
  g_list_free(all);
  return found;
}

inline int WindowsNamed(const char* name) {
  GList* all = gtk_window_list_toplevels();
  int n = 0;
  for (GList* item = all; item != nullptr; item = item->next) {
    if (NameOf(GTK_WIDGET(item->data)) == name) ++n;
  }
  g_list_free(all);
  return n;
}

// A descendant of the container by widget name, or null.
inline GtkWidget* FindChild(GtkWidget* root, const std::string& name) {
  if (NameOf(root) == name) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget* found = nullptr;
  for (GList* item = children; item != nullptr && found == nullptr; item = item->next) {
    found = FindChild(GTK_WIDGET(item->data), name);
  }
  g_list_free(children);
  return found;
}

// Queues a key press and release on the window, as the keyboard would.
inline void SendKey(GtkWindow* window, guint keyval, guint state = 0) {
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(window));
  GdkDisplay* display = gdk_window_get_display(target);
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
  ASSERT_GT(count, 0) << "no key for keyval " << keyval;
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(target));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.state = state;
    event->key.keyval = keyval;
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    event->key.group = static_cast<guint8>(keys[0].group);
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
    gdk_event_put(event);
    gdk_event_free(event);
  }
  g_free(keys);
}

// Runs its steps one at a time, each once the window named is on screen,
// while the code under test runs its own modal loop. When the steps are done
// and the window is still there long after, it is closed so that a broken
// dialog fails its test instead of hanging it.
class WindowDriver {
 public:
  using Step = std::function<void(GtkWindow*)>;
  WindowDriver(const char* name, std::vector<Step> steps) : name_(name), steps_(std::move(steps)) {
    giveUpAt_ = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
    source_ = g_timeout_add(10, &WindowDriver::Tick, this);
  }
  ~WindowDriver() { g_source_remove(source_); }
  WindowDriver(const WindowDriver&) = delete;
  WindowDriver& operator=(const WindowDriver&) = delete;

  std::size_t StepsRun() const { return next_; }
  bool GaveUp() const { return gaveUp_; }

 private:
  static gboolean Tick(gpointer self) {
    auto* driver = static_cast<WindowDriver*>(self);
    GtkWindow* window = MappedWindowNamed(driver->name_);
    const gint64 now = g_get_monotonic_time();
    if (window != nullptr && driver->next_ < driver->steps_.size()) {
      driver->steps_[driver->next_++](window);
      driver->giveUpAt_ = now + 20 * G_USEC_PER_SEC;
    } else if (now > driver->giveUpAt_) {
      driver->gaveUp_ = true;
      driver->giveUpAt_ = now + 20 * G_USEC_PER_SEC;
      if (window != nullptr) gtk_widget_hide(GTK_WIDGET(window));
      if (gtk_main_level() > 0) gtk_main_quit();
    }
    return G_SOURCE_CONTINUE;
  }

  const char* name_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  gint64 giveUpAt_ = 0;
  bool gaveUp_ = false;
  guint source_ = 0;
};

// Where the widget is drawn, in the client coordinates of its window.
inline Box BoundsInWindow(GtkWidget* widget) {
  GtkAllocation a;
  gtk_widget_get_allocation(widget, &a);
  int x = 0;
  int y = 0;
  gtk_widget_translate_coordinates(widget, gtk_widget_get_toplevel(widget), 0, 0, &x, &y);
  return {x, y, a.width, a.height};
}

}  // namespace pagimor::testing

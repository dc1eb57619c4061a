// Makes the pictures of the message dialog in docs/: one per language, type
// Confirmation, all eleven buttons, each cut from the screen with its window
// frame. Run it on an X display with a window manager, for example
//   xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'openbox & messdlgs_screenshots docs'
// Without a window manager the pictures have no title bar.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <array>
#include <cstdio>
#include <string>

#include "MessDlgs/LangTables.h"
#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/gtk/MessageForm.h"
#include "messdlgs/dialog_cases.h"

namespace {

void PumpFor(gint64 microseconds) {
  const gint64 until = g_get_monotonic_time() + microseconds;
  while (g_get_monotonic_time() < until) {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    g_usleep(5000);
  }
}

bool HasWindowManager() {
  GdkScreen* screen = gdk_screen_get_default();
  if (!GDK_IS_X11_SCREEN(screen)) return false;
  const char* name = gdk_x11_screen_get_window_manager_name(screen);
  return name != nullptr && std::string(name) != "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
    return 2;
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
    return 1;
  }
  g_set_application_name("EBook");
  // Give a window manager started alongside a moment to take the screen.
  for (int i = 0; i < 100 && !HasWindowManager(); ++i) PumpFor(50000);
  if (!HasWindowManager()) std::fprintf(stderr, "%s: no window manager; no title bars\n", argv[0]);

  int failures = 0;
  for (std::size_t language = 0; language < pagimor::testing::kScreenshotSamples.size(); ++language) {
    const auto form = pagimor::BuildLangMessageDialog(pagimor::testing::kScreenshotSamples[language].text, pagimor::LangMessageType::Confirmation,
                                                      0x07FF, static_cast<pagimor::MessageLanguage>(language));
    GtkWidget* window = GTK_WIDGET(form->Window());
    gtk_window_set_focus(form->Window(), form->Button(pagimor::LangMessageButton::Yes));
    gtk_widget_show(window);
    gtk_window_present(form->Window());
    PumpFor(800000);  // mapped, framed, centred again by its frame, drawn

    GdkRectangle frame{0, 0, 0, 0};
    gdk_window_get_frame_extents(gtk_widget_get_window(window), &frame);
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), frame.x, frame.y, frame.width, frame.height);
    const std::string path = std::string(argv[1]) + "/dialog-" + pagimor::testing::kScreenshotSamples[language].file + ".png";
    GError* error = nullptr;
    if (shot == nullptr || !gdk_pixbuf_save(shot, path.c_str(), "png", &error, nullptr)) {
      std::fprintf(stderr, "%s: %s not written: %s\n", argv[0], path.c_str(),
                   error != nullptr ? error->message : "nothing on screen");
      g_clear_error(&error);
      ++failures;
    } else {
      std::printf("%s %dx%d at %d, %d\n", path.c_str(), frame.width, frame.height, frame.x, frame.y);
    }
    if (shot != nullptr) g_object_unref(shot);
  }
  return failures == 0 ? 0 : 1;
}

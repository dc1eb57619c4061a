// Not a test: shows the About box until it is closed or the process is told
// to end, so that a test can look at it as a window manager sees it. Nothing
// in the viewer shows the box yet.
#include <gtk/gtk.h>

#include <cstdio>
#include <exception>

#include "windows/gtk/vxweb2.h"

int main() {
  if (gtk_init_check(nullptr, nullptr) == FALSE) return 1;
  try {
    pagimor::TfrmAbout about;
    g_signal_connect(about.Window(), "hide", G_CALLBACK(gtk_main_quit), nullptr);
    about.Show();
    gtk_main();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "show_about: %s\n", error.what());
    return 1;
  }
  return 0;
}

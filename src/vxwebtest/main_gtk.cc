// The viewer: a book is this program with its archive appended. It takes
// no arguments and reads no configuration; its only input is its own file.
#include "platform/gtk/desktop.h"
#include "vxwebtest/startup.h"
#include "windows/gtk/forms_gtk.h"

int main() {
  pagimor::gtk::DesktopApplication app;
  pagimor::gtk::GtkFormFactory forms(app);
  return pagimor::RunBook(app, forms);
}

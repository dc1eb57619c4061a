// The viewer: a book is this program with its archive appended. It takes
// no arguments and reads no configuration; its only input is its own file.
#include <optional>
#include <string>

#include "platform/gtk/desktop.h"
#include "vxwebtest/startup.h"
#include "windows/gtk/forms_gtk.h"
#include "windows/gtk/webkit.h"

namespace {

// Without a web engine there is nothing to show the book with: the reader
// is told what to install, before anything of the book is unpacked.
int ReportNoWebEngine(pagimor::gtk::DesktopApplication& app) {
  g_printerr("pagimor: %s\n", pagimor::gtk::kNoWebEngineMessage);
  app.Initialize();
  app.SetTitle(pagimor::kApplicationTitle);
  app.ShowPlainMessage(pagimor::gtk::kNoWebEngineMessage);
  return 0;
}

}  // namespace

int main() {
  pagimor::gtk::DesktopApplication app;
  const std::optional<pagimor::gtk::WebKitApi> webkit = pagimor::gtk::LoadWebKit();
  if (!webkit) return ReportNoWebEngine(app);
  pagimor::gtk::GtkFormFactory forms(app, *webkit);
  return pagimor::RunBook(app, forms);
}

// The viewer: a book is this program with its archive appended. It takes
// no arguments and reads no configuration; its only input is its own file.
#include <optional>
#include <string>

#include "platform/gtk/desktop.h"
#include "platform/gtk/end_signals.h"
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

// Runs before every library of the program has been started, the toolkit
// included: from here on a signal that asks the program to end is kept for
// the run, which ends by its normal road with status 0, instead of ending
// the process at once.
void CatchEndSignalsEarly(int /*argc*/, char** /*argv*/, char** /*envp*/) {
  pagimor::gtk::EndSignalWatch::CatchEarly();
}
[[gnu::used, gnu::section(".preinit_array")]] void (*catch_end_signals_early)(int, char**, char**) =
    CatchEndSignalsEarly;

}  // namespace

int main() {
  pagimor::gtk::DesktopApplication app;
  const std::optional<pagimor::gtk::WebKitApi> webkit = pagimor::gtk::LoadWebKit();
  if (!webkit) return ReportNoWebEngine(app);
  pagimor::gtk::GtkFormFactory forms(app, *webkit);
  return pagimor::RunBook(app, forms);
}

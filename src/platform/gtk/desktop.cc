#include "platform/gtk/desktop.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>

#include "MessDlgs/MessDlgs.h"
#include "platform/gtk/gobject_ref.h"
#include "platform/text.h"
#include "vxwebtest/bookfolder.h"
#include "vxwebtest/version.h"

namespace pagimor::gtk {

namespace {

// GLib's allocations, released with g_free.
struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using GString8 = std::unique_ptr<gchar, GFreeDeleter>;

struct DateTimeDeleter {
  void operator()(GDateTime* time) const { g_date_time_unref(time); }
};
using DateTime = std::unique_ptr<GDateTime, DateTimeDeleter>;

std::string FormatNow(const char* format) {
  const DateTime now(g_date_time_new_now_local());
  if (!now) return {};
  const GString8 text(g_date_time_format(now.get(), format));
  return text ? std::string(text.get()) : std::string();
}

}  // namespace

bool DesktopApplication::OpenDisplay() { return gtk_init_check(nullptr, nullptr) != FALSE; }

void DesktopApplication::Initialize() {
  // Without a display there is nothing to show a book on, nor a message.
  if (!OpenDisplay()) {
    g_printerr("pagimor: cannot open the display\n");
    _exit(0);
  }
}

void DesktopApplication::SetTitle(std::string_view title) {
  title_ = std::string(title);
  g_set_application_name(title_.c_str());
}

void DesktopApplication::RunMessageLoop() {
  if (Terminated()) return;
  gtk_main();
}

void DesktopApplication::QuitMessageLoop() {
  if (gtk_main_level() > 0) gtk_main_quit();
}

void DesktopApplication::ProcessMessages() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void DesktopApplication::WaitForMessage(std::uint32_t ms) {
  if (ms == 0 || gtk_events_pending()) return;
  // One blocking iteration ends with the first message or with this
  // timeout, whichever is ready first.
  bool fired = false;
  SourceId timeout(g_timeout_add_full(
      G_PRIORITY_HIGH, ms,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &fired, nullptr));
  gtk_main_iteration_do(TRUE);
  if (fired) timeout.Release();
}

TickCount DesktopApplication::GetTickCount() {
  // Milliseconds of the monotonic clock, wrapping like a 32-bit counter.
  return static_cast<TickCount>(static_cast<std::uint64_t>(g_get_monotonic_time()) / 1000u);
}

std::uint64_t DesktopApplication::HighResolutionCounter() {
  return static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

ScreenSize DesktopApplication::PrimaryScreenSize() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return {};
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {};
  GdkRectangle area{};
  gdk_monitor_get_geometry(monitor, &area);
  return {area.width, area.height};
}

LocalTime DesktopApplication::Now() {
  const DateTime now(g_date_time_new_now_local());
  if (!now) return {};
  return {g_date_time_get_year(now.get()),   g_date_time_get_month(now.get()),
          g_date_time_get_day_of_month(now.get()), g_date_time_get_hour(now.get()),
          g_date_time_get_minute(now.get()), g_date_time_get_second(now.get()),
          static_cast<int>(g_date_time_get_microsecond(now.get()) / 1000)};
}

std::string DesktopApplication::LongTimeText() { return FormatNow("%X"); }
std::string DesktopApplication::ShortDateText() { return FormatNow("%x"); }

std::optional<std::u16string> DesktopApplication::ModuleFileName() {
  std::array<char, PATH_MAX + 1> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size() - 1) return std::nullopt;
  return FromUtf8(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
}

std::u16string DesktopApplication::TempPath() {
  std::string path = g_get_tmp_dir();
  // A relative TMPDIR would put the book wherever the reader happens to be.
  if (path.empty() || path.front() != '/') path = "/tmp";
  path += '/';
  return Widen(path);
}

std::optional<OsVersionInfo> DesktopApplication::VersionInfo() { return DesktopVersionInfo(); }

fs::ErrorCode DesktopApplication::CreateDirectory(std::u16string_view path) { return CreatePrivateDirectory(path); }

void DesktopApplication::ShowPlainMessage(std::string_view text) {
  const std::string body(text);
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", body.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title_.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

std::int32_t DesktopApplication::ShowLangMessage(std::string_view text, LangMessageType type,
                                                 LangMessageButtons buttons, std::int32_t helpContext,
                                                 MessageLanguage language) {
  return pagimor::ShowLangMessage(text, type, buttons, helpContext, language);
}

}  // namespace pagimor::gtk

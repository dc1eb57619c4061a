#include "platform/gtk/desktop.h"

#include <X11/Xlib.h>
#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

#include <array>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "MessDlgs/LangTables.h"
#include "MessDlgs/MessDlgs.h"
#include "platform/gtk/gobject_ref.h"
#include "platform/gtk/web_renderer.h"
#include "platform/process.h"
#include "platform/text.h"
#include "vxwebtest/version.h"

namespace pagimor::gtk {

namespace {

struct DateTimeDeleter {
  void operator()(GDateTime* time) const { g_date_time_unref(time); }
};
using DateTime = std::unique_ptr<GDateTime, DateTimeDeleter>;

// Milliseconds of the monotonic clock, wrapping like a 32-bit counter.
TickCount TickOf(gint64 monotonicUs) {
  return static_cast<TickCount>(static_cast<std::uint64_t>(monotonicUs) / 1000u);
}

std::string FormatNow(const char* format) {
  const DateTime now(g_date_time_new_now_local());
  if (!now) return {};
  const OwnedString text(g_date_time_format(now.get(), format));
  return text ? std::string(text.get()) : std::string();
}

// The application whose emergency cleanup runs when the display goes. Xlib
// calls its handler without any data of ours, so the handler can only find
// the application here.
Application* g_display_user = nullptr;

// Xlib cannot go on once the connection to the display is lost, and it
// ends the process when the handler returns: this one leaves nothing
// behind first. The exit status stays 0 as on every other road.
int OnDisplayLost(Display* /*display*/) {
  if (g_display_user != nullptr) g_display_user->RunEmergencyCleanup();
  _exit(0);
}

// A Wayland compositor that goes away hangs up the connection, and the
// toolkit then ends the process with status 1 as soon as it writes to it or
// reads from it. This source looks for the hang-up before the toolkit's own
// event source is prepared (it runs at a higher priority, and a ready source
// keeps those below it from being prepared), and ends the run as a lost X
// display does.
struct CompositorWatch {
  GSource source;
  gpointer tag;
  int fd;
};

bool HungUp(int fd) {
  pollfd connection{fd, 0, 0};
  return ::poll(&connection, 1, 0) > 0 && (connection.revents & (POLLHUP | POLLERR)) != 0;
}

gboolean CompositorWatchPrepare(GSource* source, gint* timeout) {
  *timeout = -1;
  return HungUp(reinterpret_cast<CompositorWatch*>(source)->fd) ? TRUE : FALSE;
}

gboolean CompositorWatchCheck(GSource* source) {
  auto* watch = reinterpret_cast<CompositorWatch*>(source);
  return (g_source_query_unix_fd(source, watch->tag) & (G_IO_HUP | G_IO_ERR)) != 0 ? TRUE : FALSE;
}

gboolean CompositorLost(GSource* /*source*/, GSourceFunc /*callback*/, gpointer /*data*/) {
  if (g_display_user != nullptr) g_display_user->RunEmergencyCleanup();
  _exit(0);
}

// GLib takes the table by a pointer to non-const and keeps it for the
// source's life.
GSourceFuncs kCompositorWatchFuncs = {CompositorWatchPrepare, CompositorWatchCheck, CompositorLost, nullptr, nullptr,
                                      nullptr};

GSource* WatchCompositor(int fd) {
  GSource* source = g_source_new(&kCompositorWatchFuncs, sizeof(CompositorWatch));
  auto* watch = reinterpret_cast<CompositorWatch*>(source);
  watch->fd = fd;
  watch->tag = g_source_add_unix_fd(source, fd, static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR));
  g_source_set_priority(source, G_PRIORITY_HIGH);
  g_source_attach(source, nullptr);
  return source;
}

// A modal dialog of the toolkit's (one the web engine shows, or any other
// run with gtk_dialog_run) turns the main loop in a loop of its own, which
// gtk_main_quit does not end: each is answered as its close box would
// answer it, so that its loop returns and the end goes on.
void AnswerModalDialogs() {
  GList* toplevels = gtk_window_list_toplevels();
  // An answer may destroy any of them: each is held meanwhile.
  std::vector<GObjectRef<GtkWindow>> windows;
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    windows.push_back(GObjectRef<GtkWindow>::Share(GTK_WINDOW(item->data)));
  }
  g_list_free(toplevels);
  for (const GObjectRef<GtkWindow>& window : windows) {
    if (GTK_IS_DIALOG(window.get()) && gtk_window_get_modal(window.get()) &&
        gtk_widget_get_visible(GTK_WIDGET(window.get()))) {
      gtk_dialog_response(GTK_DIALOG(window.get()), GTK_RESPONSE_DELETE_EVENT);
    }
  }
}

}  // namespace

bool DesktopApplication::OpenDisplay() {
  // X11 where there is one, also under a Wayland desktop that offers it:
  // there the windows can be placed, which centres the loading window and
  // the messages. Plain Wayland only without it.
  gdk_set_allowed_backends("x11,wayland");
  // The web engine's helper processes open a display of their own and must
  // take the same one, which they learn from the environment. It is set
  // before the toolkit starts any thread that could read it meanwhile; a
  // backend the reader chose stays.
  const char* x11 = std::getenv("DISPLAY");
  if (std::getenv("GDK_BACKEND") == nullptr && x11 != nullptr && *x11 != '\0') {
    ::setenv("GDK_BACKEND", "x11", 1);
    if (gtk_init_check(nullptr, nullptr) != FALSE) return true;
    // An X display that cannot be reached: Wayland, if it is there.
    ::unsetenv("GDK_BACKEND");
  }
  return gtk_init_check(nullptr, nullptr) != FALSE;
}

void DesktopApplication::Initialize() {
  // Set before the toolkit starts threads of its own that could read the
  // environment meanwhile. X11 is what OpenDisplay takes whenever DISPLAY
  // names a display, unless the reader chose another backend; one that
  // cannot be reached costs only a faster renderer.
  const char* x11 = std::getenv("DISPLAY");
  const char* backend = std::getenv("GDK_BACKEND");
  ChooseWebRenderer(x11 != nullptr && *x11 != '\0' &&
                    (backend == nullptr || std::string_view(backend).starts_with("x11")));
  // Without a display there is nothing to show a book on, nor a message.
  if (!OpenDisplay()) {
    g_printerr("pagimor: cannot open the display\n");
    _exit(0);
  }
  end_signals_ = std::make_unique<EndSignalWatch>([this] { RequestEnd(); });
  // After the toolkit's own start, whose handler this one replaces.
  GdkDisplay* display = gdk_display_get_default();
  if (GDK_IS_X11_DISPLAY(display)) {
    g_display_user = this;
    previous_display_lost_ = XSetIOErrorHandler(OnDisplayLost);
  } else if (GDK_IS_WAYLAND_DISPLAY(display)) {
    g_display_user = this;
    compositor_watch_ = WatchCompositor(wl_display_get_fd(gdk_wayland_display_get_wl_display(display)));
  }
}

DesktopApplication::~DesktopApplication() {
  if (g_display_user != this) return;
  if (compositor_watch_ != nullptr) {
    g_source_destroy(compositor_watch_);
    g_source_unref(compositor_watch_);
  }
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) XSetIOErrorHandler(previous_display_lost_);
  g_display_user = nullptr;
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
  if (plain_message_ != nullptr) gtk_dialog_response(plain_message_, GTK_RESPONSE_NONE);
  AnswerModalDialogs();
  if (gtk_main_level() > 0) gtk_main_quit();
}

void DesktopApplication::ProcessMessages() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void DesktopApplication::WaitForMessage(TickCount deadline) {
  const gint64 now = g_get_monotonic_time();
  const TickCount left = deadline - TickOf(now);
  if (left == 0 || left > 0x7FFFFFFFu) return;
  // The counter reaches the deadline at the start of that millisecond; the
  // main loop's own waits are whole milliseconds rounded up, so this one
  // iteration polls with the exact time left.
  const gint64 leftUs = static_cast<gint64>(left) * 1000 - now % 1000;
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) return;
  gint priority = 0;
  g_main_context_prepare(context, &priority);
  gint timeoutMs = 0;
  gint count = 0;
  while ((count = g_main_context_query(context, priority, &timeoutMs, poll_fds_.data(),
                                       static_cast<gint>(poll_fds_.size()))) > static_cast<gint>(poll_fds_.size())) {
    poll_fds_.resize(static_cast<std::size_t>(count));
  }
  const gint64 waitUs = timeoutMs >= 0 ? std::min(leftUs, gint64{timeoutMs} * 1000) : leftUs;
  const timespec wait{static_cast<time_t>(waitUs / 1000000), static_cast<long>(waitUs % 1000000 * 1000)};
  static_assert(sizeof(GPollFD) == sizeof(pollfd) && offsetof(GPollFD, revents) == offsetof(pollfd, revents));
  ::ppoll(reinterpret_cast<pollfd*>(poll_fds_.data()), static_cast<nfds_t>(count), &wait, nullptr);
  g_main_context_check(context, priority, poll_fds_.data(), count);
  g_main_context_dispatch(context);
  g_main_context_release(context);
}

TickCount DesktopApplication::GetTickCount() { return TickOf(g_get_monotonic_time()); }

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

std::optional<std::u16string> DesktopApplication::ModuleFileName() { return proc::OwnProgramPath(); }

std::u16string DesktopApplication::TempPath() {
  std::string path = g_get_tmp_dir();
  // A relative TMPDIR would put the book wherever the reader happens to be.
  if (path.empty() || path.front() != '/') path = "/tmp";
  path += '/';
  return PathFromBytes(path);
}

std::optional<OsVersionInfo> DesktopApplication::VersionInfo() { return DesktopVersionInfo(); }

fs::ErrorCode DesktopApplication::MakeDirectory(std::u16string_view path) { return fs::CreatePrivateFolder(path); }

void DesktopApplication::ShowPlainMessage(std::string_view text) {
  if (Terminated()) return;
  const std::string body(text);
  GtkWidget* dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", body.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title_.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  plain_message_ = GTK_DIALOG(dialog);
  gtk_dialog_run(GTK_DIALOG(dialog));
  plain_message_ = nullptr;
  gtk_widget_destroy(dialog);
}

std::int32_t DesktopApplication::ShowLangMessage(std::string_view text, LangMessageType type,
                                                 LangMessageButtons buttons, std::int32_t helpContext,
                                                 MessageLanguage language) {
  // The dialog's own loop ends when the application is asked to end.
  if (Terminated()) return kCancelledResult;
  return pagimor::ShowLangMessage(text, type, buttons, helpContext, language);
}

}  // namespace pagimor::gtk

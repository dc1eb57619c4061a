#include "windows/gtk/forms_gtk.h"

#include <fcntl.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/text.h"

// Made by glib-compile-resources from windows.gresource.xml.
extern "C" void pagimor_windows_register_resource(void);

namespace pagimor::gtk {

namespace {

constexpr const char* kResourcePrefix = "/org/pagimor/windows/";
// Where the viewer window stands when it is not maximized.
constexpr gint kRestoredLeft = 967;
constexpr gint kRestoredTop = 118;

void RegisterResources() {
  static const bool registered = [] {
    pagimor_windows_register_resource();
    return true;
  }();
  (void)registered;
}

std::string ResourcePath(const char* name) { return std::string(kResourcePrefix) + name; }

template <typename F>
void Bind(GtkBuilder* builder, const char* name, F* handler) {
  gtk_builder_add_callback_symbol(builder, name, reinterpret_cast<GCallback>(handler));
}

// The handlers of the viewer window, as the layout names them.
GtkForm1* Self(gpointer data) { return static_cast<GtkForm1*>(data); }

void OnFormCreate(GtkWidget* /*widget*/, gpointer data) { Self(data)->FormCreate(); }

gboolean OnResize(GtkWidget* /*widget*/, GdkEventConfigure* /*event*/, gpointer data) {
  Self(data)->vxresize();
  return FALSE;
}

// The close handler runs, then the close action; the window itself goes
// with its object, so a close asked for again inside the handler's pauses
// finds it still there.
gboolean OnFormClose(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer data) {
  GtkForm1* form = Self(data);
  form->FormClose();
  form->app().FormClosed(*form);
  return TRUE;
}

void OnExit(GtkMenuItem* /*item*/, gpointer data) { Self(data)->Exit1Click(); }

// Another program destroyed the window on the display (a window killer, a
// compositor that went down): that is the window's close, and the run ends
// by the road its close box takes. The toolkit would otherwise destroy the
// window's widget under its form and leave the run going with no window.
gboolean OnFormDestroyedOutside(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer data) {
  Self(data)->Close();
  return TRUE;
}

// True for the notice that window has been destroyed; a peek, which takes
// nothing from the queue.
Bool IsDestroyNotice(Display* /*display*/, XEvent* event, XPointer window) {
  if (event->type == DestroyNotify && event->xdestroywindow.window == *reinterpret_cast<Window*>(window)) {
    *reinterpret_cast<Window*>(window) = None;
  }
  return False;
}

// The display tells of a window destroyed by another program first as
// unmapped, then as destroyed. Taking the unmapping as news would have the
// toolkit and the web view ask the display about the window, which is gone,
// and the display's refusal ends the process: the unmapping is dropped and
// the destruction, right behind it, is taken as the close.
GdkFilterReturn SkipUnmapOfDestroyed(GdkXEvent* native, GdkEvent* /*event*/, gpointer /*data*/) {
  auto* event = static_cast<XEvent*>(native);
  if (event->type != UnmapNotify || event->xunmap.event != event->xunmap.window) return GDK_FILTER_CONTINUE;
  Window window = event->xunmap.window;
  // The display sends both notices at once: once it has answered, the
  // second one is here if there is one.
  XSync(event->xunmap.display, False);
  XEvent ignored;
  XCheckIfEvent(event->xunmap.display, &ignored, IsDestroyNotice, reinterpret_cast<XPointer>(&window));
  return window == None ? GDK_FILTER_REMOVE : GDK_FILTER_CONTINUE;
}

void OnForm1Realize(GtkWidget* widget, gpointer /*data*/) {
  GdkWindow* surface = gtk_widget_get_window(widget);
  if (GDK_IS_X11_WINDOW(surface)) gdk_window_add_filter(surface, SkipUnmapOfDestroyed, nullptr);
}

// The reader's keys for the page, taken before the page sees them: Ctrl with
// plus (or =), minus and 0 zoom it; Alt+Left goes back to the page before.
// Shift is left out of Ctrl's keys, since many keyboards need it for plus.
gboolean OnFormKeyDown(GtkWidget* /*widget*/, GdkEventKey* event, gpointer data) {
  const guint modifiers = event->state & static_cast<guint>(gtk_accelerator_get_default_mod_mask());
  GtkWebBrowser& web = Self(data)->Browser();
  if ((modifiers & ~static_cast<guint>(GDK_SHIFT_MASK)) == GDK_CONTROL_MASK) {
    switch (event->keyval) {
      case GDK_KEY_plus:
      case GDK_KEY_equal:
      case GDK_KEY_KP_Add:
        web.Zoom(1);
        return TRUE;
      case GDK_KEY_minus:
      case GDK_KEY_KP_Subtract:
        web.Zoom(-1);
        return TRUE;
      case GDK_KEY_0:
      case GDK_KEY_KP_0:
      case GDK_KEY_KP_Insert:
        web.Zoom(0);
        return TRUE;
      default:
        break;
    }
  }
  if (modifiers == GDK_MOD1_MASK && (event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_KP_Left)) {
    web.GoBack();
    return TRUE;
  }
  return FALSE;
}

void OnClock(GObject* /*timer*/, gpointer data) { Self(data)->Timer1Timer(); }

void OnWatch(GObject* /*timer*/, gpointer data) { Self(data)->tmrWatchWebTimer(); }

void OnNavigateComplete(WebKitWebView* /*view*/, WebKitLoadEvent event, gpointer data) {
  if (event != WEBKIT_LOAD_COMMITTED) return;
  GtkForm1* form = Self(data);
  form->WebBrowser1NavigateComplete2(form->Browser().LocationURL());
}

void OnDocumentComplete(WebKitWebView* /*view*/, WebKitLoadEvent event, gpointer data) {
  if (event == WEBKIT_LOAD_FINISHED) Self(data)->WebBrowser1DocumentComplete();
}

// For a window manager that frames the window: a border and the caption,
// nothing to click on; the reader may move the window but not close,
// minimize, maximize or resize it. Set once the window exists on the
// display and before it is shown, when the window manager reads it.
void OnForm2Realize(GtkWidget* widget, gpointer /*data*/) {
  GdkWindow* surface = gtk_widget_get_window(widget);
  gdk_window_set_decorations(surface, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE));
  gdk_window_set_functions(surface, GDK_FUNC_MOVE);
}

// Without a window manager nobody maximizes a window: fill the work area
// by hand so that the book still gets the whole screen.
void Maximize(GtkWindow* window) {
  gtk_window_maximize(window);
  GdkScreen* screen = gtk_window_get_screen(window);
  if (!GDK_IS_X11_SCREEN(screen) ||
      gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_HORZ")))
    return;
  GdkDisplay* display = gdk_screen_get_display(screen);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  gtk_window_move(window, area.x, area.y);
  gtk_window_resize(window, area.width, area.height);
}

}  // namespace

// --- widgets ---

AdjustmentProgressBar::AdjustmentProgressBar(GtkProgressBar* bar, GtkAdjustment* range)
    : bar_(GObjectRef<GtkProgressBar>::Share(bar)), range_(GObjectRef<GtkAdjustment>::Share(range)) {
  Redraw();
}

void AdjustmentProgressBar::SetMin(int value) {
  gtk_adjustment_set_lower(range_.get(), value);
  Redraw();
}

void AdjustmentProgressBar::SetMax(int value) {
  gtk_adjustment_set_upper(range_.get(), value);
  Redraw();
}

void AdjustmentProgressBar::SetPosition(int value) {
  gtk_adjustment_set_value(range_.get(), value);
  Redraw();
}

int AdjustmentProgressBar::Min() const { return static_cast<int>(gtk_adjustment_get_lower(range_.get())); }
int AdjustmentProgressBar::Max() const { return static_cast<int>(gtk_adjustment_get_upper(range_.get())); }
int AdjustmentProgressBar::Position() const { return static_cast<int>(gtk_adjustment_get_value(range_.get())); }

void AdjustmentProgressBar::Redraw() {
  const double low = gtk_adjustment_get_lower(range_.get());
  const double high = gtk_adjustment_get_upper(range_.get());
  const double value = gtk_adjustment_get_value(range_.get());
  const double fraction = high > low ? (value - low) / (high - low) : 0.0;
  gtk_progress_bar_set_fraction(bar_.get(), std::clamp(fraction, 0.0, 1.0));
}

void GtkLabelText::SetCaption(std::string_view text) { gtk_label_set_text(label_.get(), std::string(text).c_str()); }
std::string GtkLabelText::Caption() const { return gtk_label_get_text(label_.get()); }
bool GtkLabelText::Visible() const { return gtk_widget_get_visible(GTK_WIDGET(label_.get())) != FALSE; }

namespace {
// An about: address the engine does not know (the window's first address
// is one) shows nothing rather than an error page, which would be loaded
// late and could replace the page asked for right after it.
gboolean OnLoadFailed(WebKitWebView* /*view*/, WebKitLoadEvent /*event*/, gchar* uri, GError* /*error*/,
                      gpointer /*data*/) {
  return uri != nullptr && g_str_has_prefix(uri, "about:") ? TRUE : FALSE;
}

// A book writes nothing outside its folder: whatever a page asks to save (a
// link with download, a blob, a data: address, a file the view cannot show)
// is given up before the engine picks a place for it, so no file of the
// reader's is replaced and none is added.
gboolean OnDecideDestination(WebKitDownload* download, gchar* /*suggested*/, gpointer data) {
  static_cast<const WebKitApi*>(data)->webkit_download_cancel(download);
  return TRUE;
}

void OnDownloadStarted(GObject* /*context*/, WebKitDownload* download, gpointer data) {
  // Should the engine still ask for a place, it is told none.
  g_signal_connect(download, "decide-destination", G_CALLBACK(OnDecideDestination), data);
  static_cast<const WebKitApi*>(data)->webkit_download_cancel(download);
}
}  // namespace

GtkWebBrowser::GtkWebBrowser(WebKitWebView* view, const WebKitApi& webkit)
    : view_(GObjectRef<WebKitWebView>::Share(view)), webkit_(webkit) {
  g_signal_connect(view_.get(), "load-failed", G_CALLBACK(OnLoadFailed), nullptr);
  // A page opens no windows, the system's Print window neither: printing,
  // asked for by the page (window.print()) or from the keyboard, is taken
  // as done. Its dialog would also hold the reader's keys while it is up.
  g_signal_connect(view_.get(), "print", G_CALLBACK(gtk_true), nullptr);
  GObject* context = nullptr;
  g_object_get(view_.get(), "web-context", &context, nullptr);
  if (context != nullptr) {
    // The table outlives the view: it is loaded once, before any window.
    g_signal_connect(context, "download-started", G_CALLBACK(OnDownloadStarted),
                     const_cast<WebKitApi*>(&webkit_));
    g_object_unref(context);
  }
}

void GtkWebBrowser::Navigate(std::u16string_view address) {
  // A plain path is shown as the file:// page it names.
  if (!address.empty() && address.front() == u'/') {
    std::string path = PathToBytes(address);
    // The web engine takes the path in a file:// address for UTF-8 and
    // cannot load one whose folder is named otherwise (a temporary
    // directory named in Latin-1): the page is reached through an open
    // handle of its folder instead, whose path is plain ASCII. The engine's
    // helpers are this program's children and run as its user, so they
    // may follow it.
    const auto slash = path.rfind('/');
    if (!FromUtf8(path) && slash != std::string::npos) {
      pageFolder_.Reset(::open(slash == 0 ? "/" : path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (pageFolder_.valid()) {
        path = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(pageFolder_.get()) + path.substr(slash);
      }
    }
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (uri != nullptr) {
      webkit_.webkit_web_view_load_uri(view_.get(), uri);
      g_free(uri);
    }
    return;
  }
  webkit_.webkit_web_view_load_uri(view_.get(), ToUtf8(address).c_str());
}

std::u16string GtkWebBrowser::LocationURL() const {
  const gchar* uri = webkit_.webkit_web_view_get_uri(view_.get());
  return Widen(uri != nullptr ? uri : "");
}

void GtkWebBrowser::Zoom(int direction) {
  const double level = webkit_.webkit_web_view_get_zoom_level(view_.get());
  webkit_.webkit_web_view_set_zoom_level(view_.get(), NextZoomLevel(level, direction));
}

void GtkWebBrowser::GoBack() {
  if (webkit_.webkit_web_view_can_go_back(view_.get())) webkit_.webkit_web_view_go_back(view_.get());
}

BuiltWindow::BuiltWindow(const char* resource, std::initializer_list<GType> types)
    : builder_(GObjectRef<GtkBuilder>::Adopt(gtk_builder_new())) {
  RegisterResources();
  // The layouts name these types; they must be known before parsing.
  g_type_ensure(TimerType());
  for (const GType type : types) g_type_ensure(type);
  GError* error = nullptr;
  if (gtk_builder_add_from_resource(builder_.get(), ResourcePath(resource).c_str(), &error) == 0) {
    // The layouts are part of the program: one that does not load is a
    // broken build, not a book's fault.
    g_error("layout %s: %s", resource, error != nullptr ? error->message : "unknown error");
  }
}

BuiltWindow::~BuiltWindow() = default;

// --- the loading window ---

GtkForm2::GtkForm2(Application& app)
    : TForm2(app),
      layout_("startscreen.ui"),
      window_(GObjectRef<GtkWindow>::Share(layout_.Get<GtkWindow>("Form2"))),
      progress_(layout_.Get<GtkProgressBar>("ProgBar1"), layout_.Get<GtkAdjustment>("ProgBar1Range")),
      status_(layout_.Get<GtkLabel>("lblStatus")),
      version_(layout_.Get<GtkLabel>("lblVersion")) {
  // No close box: the reader cannot close it from the frame either.
  g_signal_connect(window_.get(), "delete-event", G_CALLBACK(gtk_true), nullptr);
  // After the toolkit's own realize, which sets the functions from the
  // window's flags.
  g_signal_connect(window_.get(), "realize", G_CALLBACK(OnForm2Realize), nullptr);
}

GtkForm2::~GtkForm2() { gtk_widget_destroy(GTK_WIDGET(window_.get())); }

void GtkForm2::Show() { gtk_widget_show(GTK_WIDGET(window_.get())); }
void GtkForm2::Hide() { gtk_widget_hide(GTK_WIDGET(window_.get())); }
bool GtkForm2::Visible() const { return gtk_widget_get_visible(GTK_WIDGET(window_.get())) != FALSE; }
void GtkForm2::Close() { app().FormClosed(*this); }

// --- the viewer window ---

GtkForm1::GtkForm1(Application& app, const WebKitApi& webkit)
    : TForm1(app),
      layout_("vxweb.ui", {webkit.webkit_web_view_get_type(), webkit.webkit_web_context_get_type(),
                           webkit.webkit_website_data_manager_get_type(), webkit.webkit_settings_get_type()}),
      window_(GObjectRef<GtkWindow>::Share(layout_.Get<GtkWindow>("Form1"))),
      web_(layout_.Get<WebKitWebView>("WebBrowser1"), webkit),
      clock_(layout_.Get<GObject>("Timer1")),
      watch_(layout_.Get<GObject>("tmrWatchWeb")) {
  for (int i = 0; i < 3; ++i) {
    const std::string id = "StatusBar1Panel" + std::to_string(i);
    panels_[static_cast<std::size_t>(i)] = GObjectRef<GtkLabel>::Share(layout_.Get<GtkLabel>(id.c_str()));
  }
  GtkBuilder* builder = layout_.builder();
  Bind(builder, "FormCreate", OnFormCreate);
  Bind(builder, "vxresize", OnResize);
  Bind(builder, "FormClose", OnFormClose);
  Bind(builder, "Exit1Click", OnExit);
  Bind(builder, "FormKeyDown", OnFormKeyDown);
  Bind(builder, "Timer1Timer", OnClock);
  Bind(builder, "tmrWatchWebTimer", OnWatch);
  Bind(builder, "WebBrowser1NavigateComplete2", OnNavigateComplete);
  Bind(builder, "WebBrowser1DocumentComplete", OnDocumentComplete);
  gtk_builder_connect_signals(builder, this);
  g_signal_connect(window_.get(), "destroy-event", G_CALLBACK(OnFormDestroyedOutside), this);
  g_signal_connect(window_.get(), "realize", G_CALLBACK(OnForm1Realize), nullptr);
}

GtkForm1::~GtkForm1() {
  // The timers must not tick into a form that is gone.
  clock_.SetEnabled(false);
  watch_.SetEnabled(false);
  g_signal_handlers_disconnect_by_data(window_.get(), this);
  g_signal_handlers_disconnect_by_data(web_.widget(), this);
  g_signal_handlers_disconnect_by_data(layout_.Get<GObject>("Timer1"), this);
  g_signal_handlers_disconnect_by_data(layout_.Get<GObject>("tmrWatchWeb"), this);
  gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

void GtkForm1::Create() {
  gtk_window_move(window_.get(), kRestoredLeft, kRestoredTop);
  gtk_widget_realize(GTK_WIDGET(window_.get()));  // runs FormCreate
  Maximize(window_.get());
  Show();
}

void GtkForm1::Show() { gtk_widget_show(GTK_WIDGET(window_.get())); }
void GtkForm1::Hide() { gtk_widget_hide(GTK_WIDGET(window_.get())); }
bool GtkForm1::Visible() const { return gtk_widget_get_visible(GTK_WIDGET(window_.get())) != FALSE; }

void GtkForm1::Close() {
  // The same road as the frame's close box: the delete event, whose bound
  // handler runs FormClose and the close action.
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  if (GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get())))
    event->any.window = GDK_WINDOW(g_object_ref(surface));
  gboolean handled = FALSE;
  g_signal_emit_by_name(window_.get(), "delete-event", event, &handled);
  gdk_event_free(event);
}

// The outer size includes the frame once the window manager has drawn one.
GdkRectangle GtkForm1::OuterSize() const {
  GdkRectangle frame{};
  if (GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get()))) {
    gdk_window_get_frame_extents(surface, &frame);
  } else {
    gtk_window_get_size(window_.get(), &frame.width, &frame.height);
  }
  return frame;
}

int GtkForm1::OuterWidth() const { return OuterSize().width; }

int GtkForm1::OuterHeight() const { return OuterSize().height; }

// The web view starts right below the menu bar, at the top of what the
// sizing rule counts as the client area.
int GtkForm1::WebBrowser1Top() const { return 0; }

// The sizing rule's allowances stand for the frame, caption and menu of a
// Windows window, which here would leave a grey strip beside and below the
// page: the window's box gives the web view exactly the room between the
// menu bar and the status bar instead, at every size.
void GtkForm1::SetWebBrowser1Size(int /*width*/, int /*height*/) {}

GtkLabel* GtkForm1::Panel(int index) const { return panels_.at(static_cast<std::size_t>(index)).get(); }

void GtkForm1::SetPanelText(int index, std::string_view text) {
  gtk_label_set_text(Panel(index), std::string(text).c_str());
}

void GtkForm1::SetPanelWidth(int index, int width) {
  gtk_widget_set_size_request(GTK_WIDGET(Panel(index)), std::max(width, 0), -1);
}

// --- creation ---

std::unique_ptr<TForm2> GtkFormFactory::CreateForm2() { return std::make_unique<GtkForm2>(app_); }

std::unique_ptr<TForm1> GtkFormFactory::CreateForm1() {
  auto form = std::make_unique<GtkForm1>(app_, webkit_);
  form->Create();
  return form;
}

}  // namespace pagimor::gtk

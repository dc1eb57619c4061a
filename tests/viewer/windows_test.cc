// The real windows in this process, on the display scripts/test provides.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/gtk/desktop.h"
#include "platform/text.h"
#include "windows/gtk/forms_gtk.h"

namespace pagimor::gtk {
namespace {

namespace stdfs = std::filesystem;

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_TRUE(DesktopApplication::OpenDisplay());
  }

  // Runs the message loop until the application ends or ms have passed;
  // true when it was the application that ended it.
  bool RunFor(guint ms) {
    bool timedOut = false;
    SourceId guard(g_timeout_add(
        ms,
        [](gpointer data) -> gboolean {
          *static_cast<bool*>(data) = true;
          gtk_main_quit();
          return G_SOURCE_REMOVE;
        },
        &timedOut));
    app_.RunMessageLoop();
    if (timedOut) guard.Release();
    return !timedOut && app_.Terminated();
  }

  void Settle(guint ms = 300) {
    const TickCount start = app_.GetTickCount();
    PumpMessagesUntil(app_, start, ms);
  }

  GtkForm1& Viewer() {
    if (!form1_) form1_ = forms_.CreateForm1();
    return static_cast<GtkForm1&>(*form1_);
  }

  // A page of the book that leaves for another address after a moment.
  std::string PageLeavingFor(const std::string& address) {
    const stdfs::path page = stdfs::path(::testing::TempDir()) / ("leave-" + std::to_string(::getpid()) + ".html");
    std::ofstream(page) << "<html><body>Quiz<script>setTimeout(function(){location.href='" << address
                        << "';}, 300);</script></body></html>";
    return page.string();
  }

  void TearDown() override {
    if (!folder_.empty()) stdfs::remove_all(folder_);
  }

  // Writes a file of a book folder of this test; gives its path.
  std::string BookFile(const std::string& name, const std::string& text) {
    if (folder_.empty()) {
      folder_ = stdfs::path(::testing::TempDir()) / ("book-" + std::to_string(::getpid()));
      stdfs::create_directories(folder_);
    }
    std::ofstream(folder_ / name) << text;
    return (folder_ / name).string();
  }

  WebKitWebView* View() { return WEBKIT_WEB_VIEW(gtk_builder_get_object(Viewer().builder(), "WebBrowser1")); }

  // Handles messages until the web view shows the page and has loaded it.
  void LoadPage(const std::string& path) {
    const OwnedString uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    for (int i = 0; i < 100; ++i) {
      const gchar* shown = webkit_web_view_get_uri(View());
      if (shown != nullptr && std::string_view(shown) == uri.get() && !webkit_web_view_is_loading(View())) return;
      Settle(50);
    }
    ADD_FAILURE() << "the web view did not load " << path;
  }

  // A key as the display delivers it to the focused window.
  static void PressKey(GtkWindow* window, guint keyval, guint state) {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window));
    ASSERT_NE(surface, nullptr);
    GdkEvent* press = gdk_event_new(GDK_KEY_PRESS);
    press->key.window = GDK_WINDOW(g_object_ref(surface));
    press->key.keyval = keyval;
    press->key.state = state;
    press->key.time = GDK_CURRENT_TIME;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys,
                                          &count) &&
        count > 0) {
      press->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    }
    g_free(keys);
    gdk_event_set_device(press, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(press);
    gdk_event_free(press);
  }

  DesktopApplication app_;
  const WebKitApi webkit_ = LoadWebKit().value();
  GtkFormFactory forms_{app_, webkit_};
  stdfs::path folder_;
  std::unique_ptr<TForm1> form1_;
};

// The engine comes from the first library that loads and has every
// function the viewer calls.
TEST(WebKitLoadTest, FirstLibraryWithEveryFunction) {
  struct Case {
    const char* name;
    std::vector<const char*> libraries;
    const char* loaded;  // or nothing
  };
  const Case cases[] = {
      {"missing, then the engine", {"libpagimor-no-such-library.so.0", "libwebkit2gtk-4.1.so.0"}, "libwebkit2gtk-4.1.so.0"},
      {"a library without the functions", {"libc.so.6"}, nullptr},
      {"none at all", {}, nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<WebKitApi> api = LoadWebKit(c.libraries);
    ASSERT_EQ(api.has_value(), c.loaded != nullptr) << c.name;
    if (!api) continue;
    EXPECT_STREQ(api->library, c.loaded) << c.name;
    EXPECT_EQ(api->webkit_web_view_get_type(), WEBKIT_TYPE_WEB_VIEW) << c.name;
  }
}

TEST_F(WindowsTest, LoadingWindowAsLaidOut) {
  auto form = forms_.CreateForm2();
  auto& form2 = static_cast<GtkForm2&>(*form);
  EXPECT_EQ(app_.MainForm(), form.get());
  EXPECT_FALSE(form2.Visible());
  GtkWindow* window = form2.window();
  EXPECT_STREQ(gtk_window_get_title(window), "Loading - Please wait...");
  EXPECT_FALSE(gtk_window_get_resizable(window));
  EXPECT_FALSE(gtk_window_get_deletable(window));
  EXPECT_EQ(gtk_window_get_type_hint(window), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);

  form2.Show();
  Settle();
  gint width = 0;
  gint height = 0;
  gtk_window_get_size(window, &width, &height);
  EXPECT_EQ(width, 266);
  EXPECT_EQ(height, 34);
  gint left = 0;
  gint top = 0;
  gtk_window_get_position(window, &left, &top);
  const ScreenSize screen = app_.PrimaryScreenSize();
  EXPECT_NEAR(left, screen.width / 2 - width / 2, 1);
  EXPECT_NEAR(top, screen.height / 2 - height / 2, 1);

  GtkAllocation bar{};
  gtk_widget_get_allocation(GTK_WIDGET(form2.ProgBar1Widget()), &bar);
  EXPECT_EQ(bar.x, 0);
  EXPECT_EQ(bar.y, 3);
  EXPECT_EQ(bar.width, 265);
  EXPECT_EQ(bar.height, 30);
  EXPECT_EQ(form2.ProgBar1().Min(), 0);
  EXPECT_EQ(form2.ProgBar1().Max(), 100);
  EXPECT_EQ(form2.ProgBar1().Position(), 0);
  form2.ProgBar1().SetMax(1);
  form2.ProgBar1().SetPosition(1);
  EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(form2.ProgBar1Widget()), 1.0);

  EXPECT_EQ(form2.lblStatus().Caption(), "lblStatus");
  EXPECT_EQ(form2.lblVersion().Caption(), "lblVersion");
  form2.lblStatus().SetCaption("Loading Pagimor... Please wait...");
  EXPECT_EQ(form2.lblStatus().Caption(), "Loading Pagimor... Please wait...");
  EXPECT_FALSE(form2.lblStatus().Visible());
  EXPECT_FALSE(form2.lblVersion().Visible());

  // Neither the frame nor a close request ends it.
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  gboolean handled = FALSE;
  g_signal_emit_by_name(window, "delete-event", event, &handled);
  gdk_event_free(event);
  EXPECT_TRUE(handled);
  EXPECT_TRUE(form2.Visible());

  form.reset();
  EXPECT_EQ(app_.MainForm(), nullptr);
}

// What the loading window asks of any window manager: a frame with a
// caption and nothing to click on, to be moved but not closed, minimized,
// maximized or resized; and that it is a start-up window.
TEST_F(WindowsTest, LoadingWindowAsksForNoBorderIcons) {
  auto form = forms_.CreateForm2();
  auto& form2 = static_cast<GtkForm2&>(*form);
  form2.Show();
  Settle();
  GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(form2.window()));
  ASSERT_NE(surface, nullptr);
  // GDK hands 32-bit items back as longs, and atoms as its own atoms.
  auto property = [&]<typename T>(const char* name, T /*type*/) {
    GdkAtom type = GDK_NONE;
    gint format = 0;
    gint length = 0;
    guchar* data = nullptr;
    std::vector<T> values;
    if (gdk_property_get(surface, gdk_atom_intern(name, FALSE), GDK_NONE, 0, 32, FALSE, &type, &format, &length,
                         &data) &&
        format == 32) {
      const auto* items = reinterpret_cast<const T*>(data);
      values.assign(items, items + static_cast<std::size_t>(length) / sizeof(T));
    }
    g_free(data);
    return values;
  };
  // Flags, functions, decorations, as the Motif hints lay them out.
  constexpr unsigned long kFunctionsAndDecorations = 1 | 2;
  constexpr unsigned long kMove = 4;
  constexpr unsigned long kBorderAndTitle = 2 | 8;
  const std::vector<unsigned long> motif = property("_MOTIF_WM_HINTS", 0ul);
  ASSERT_GE(motif.size(), 3u);
  EXPECT_EQ(motif[0] & kFunctionsAndDecorations, kFunctionsAndDecorations);
  EXPECT_EQ(motif[1], kMove);
  EXPECT_EQ(motif[2], kBorderAndTitle);
  const std::vector<GdkAtom> type = property("_NET_WM_WINDOW_TYPE", GdkAtom{});
  ASSERT_EQ(type.size(), 1u);
  EXPECT_EQ(type[0], gdk_atom_intern_static_string("_NET_WM_WINDOW_TYPE_SPLASH"));
}

TEST_F(WindowsTest, ViewerWindowAsLaidOut) {
  GtkForm1& form = Viewer();
  EXPECT_EQ(app_.MainForm(), &form);
  GtkWindow* window = form.window();
  EXPECT_STREQ(gtk_window_get_title(window), "EBook");
  GdkPixbuf* icon = gtk_window_get_icon(window);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(icon), 32);

  auto get = [&](const char* id) { return GTK_WIDGET(gtk_builder_get_object(form.builder(), id)); };
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(get("File1"))), "_File");
  EXPECT_TRUE(gtk_widget_get_visible(get("File1")));
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(get("Exit1"))), "E_xit");
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(get("Help1"))), "_Help");
  EXPECT_FALSE(gtk_widget_get_visible(get("Help1")));
  EXPECT_FALSE(gtk_widget_get_visible(get("About1")));

  EXPECT_TRUE(form.Timer1().Enabled());
  EXPECT_EQ(form.Timer1().Interval(), 1000u);
  EXPECT_FALSE(form.tmrWatchWeb().Enabled());
  EXPECT_EQ(form.tmrWatchWeb().Interval(), 500u);
  EXPECT_EQ(form.sStartURL, "about:EBook");
  // Until the clock ticks the panels keep their layout texts.
  EXPECT_STREQ(gtk_label_get_text(form.Panel(0)), "InfoText");
  EXPECT_STREQ(gtk_label_get_text(form.Panel(1)), "Time");
  EXPECT_STREQ(gtk_label_get_text(form.Panel(2)), "Date");

  Settle(500);
  // Maximized: the whole screen, whether or not a window manager runs.
  const ScreenSize screen = app_.PrimaryScreenSize();
  EXPECT_EQ(form.OuterWidth(), screen.width);
  EXPECT_EQ(form.OuterHeight(), screen.height);
  EXPECT_EQ(gtk_widget_get_allocated_height(get("StatusBar1")), 19);
  EXPECT_STREQ(gtk_label_get_text(form.Panel(0)), "EBook successfully loaded.");
  gint panelWidth = 0;
  gtk_widget_get_size_request(GTK_WIDGET(form.Panel(0)), &panelWidth, nullptr);
  EXPECT_EQ(panelWidth, screen.width - 250);
  // The first tick comes about a second after creation.
  for (int i = 0; i < 50 && std::string_view(gtk_label_get_text(form.Panel(1))) == "Time"; ++i) Settle(100);
  const std::string time = gtk_label_get_text(form.Panel(1));
  EXPECT_TRUE(time.starts_with("Time: ") && time.size() > 6) << time;
  EXPECT_EQ(std::string(gtk_label_get_text(form.Panel(2))), "Date: " + app_.ShortDateText());
}

// The page covers the client area between the menu bar and the status bar
// exactly, maximized and at any other size: its own width is the window's,
// and its colour reaches every inner edge of that area.
TEST_F(WindowsTest, PageCoversTheClientAreaBetweenTheBars) {
  GtkForm1& form = Viewer();
  const std::string page = BookFile("colour.html",
                                    "<html style='background:rgb(0,128,255)'><body><script>"
                                    "function size() { document.title = innerWidth + 'x' + innerHeight; }"
                                    "size(); addEventListener('resize', size);</script></body></html>");
  form.WebBrowser1().Navigate(Widen(page));
  LoadPage(page);
  auto get = [&](const char* id) { return GTK_WIDGET(gtk_builder_get_object(form.builder(), id)); };
  const ScreenSize screen = app_.PrimaryScreenSize();
  struct Size {
    gint width;
    gint height;
  };
  for (const Size size : {Size{screen.width, screen.height}, Size{640, 300}, Size{300, 120}}) {
    const std::string what = std::to_string(size.width) + "x" + std::to_string(size.height);
    if (size.width != screen.width) {
      gtk_window_unmaximize(form.window());
      gtk_window_resize(form.window(), size.width, size.height);
    }
    GtkAllocation web{};
    GtkAllocation menu{};
    GtkAllocation status{};
    gint width = 0;
    gint height = 0;
    // Until the window has its size and the page has heard of it.
    auto settled = [&] {
      gtk_widget_get_allocation(get("WebBrowser1"), &web);
      gtk_widget_get_allocation(get("MainMenu1"), &menu);
      gtk_widget_get_allocation(get("StatusBar1"), &status);
      gtk_window_get_size(form.window(), &width, &height);
      const gchar* title = webkit_web_view_get_title(View());
      return width == size.width && height == size.height && title != nullptr &&
             std::string(title) == std::to_string(web.width) + "x" + std::to_string(web.height);
    };
    for (int i = 0; i < 100 && !settled(); ++i) Settle(50);
    Settle(300);  // the page paints
    ASSERT_TRUE(settled()) << what;
    EXPECT_EQ(web.x, 0) << what;
    EXPECT_EQ(web.width, width) << what;
    EXPECT_EQ(web.y, menu.y + menu.height) << what;
    EXPECT_EQ(web.y + web.height, status.y) << what;
    EXPECT_EQ(status.y + status.height, height) << what;

    // The window drawn as it draws itself on the screen, where the windows
    // of tests running beside this one could cover it.
    const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> shot(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
    cairo_t* cr = cairo_create(shot.get());
    gtk_widget_draw(GTK_WIDGET(form.window()), cr);
    cairo_destroy(cr);
    cairo_surface_flush(shot.get());
    auto pixel = [&](gint x, gint y) {
      const unsigned char* row =
          cairo_image_surface_get_data(shot.get()) + y * cairo_image_surface_get_stride(shot.get());
      return static_cast<int>(reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFFu);
    };
    constexpr int kPage = 0x0080FF;
    const gint top = web.y;
    const gint bottom = status.y - 1;
    for (const auto& [x, y] : {std::pair{0, top}, std::pair{width - 1, top}, std::pair{0, bottom},
                               std::pair{width - 1, bottom}, std::pair{width / 2, bottom}, std::pair{width - 1, (top + bottom) / 2}}) {
      EXPECT_EQ(pixel(x, y), kPage) << what << " at " << x << "," << y;
    }
    // The bars stay the bars.
    EXPECT_NE(pixel(width - 1, top - 1), kPage) << what;
    EXPECT_NE(pixel(width - 1, bottom + 1), kPage) << what;
  }
}

// Larger text makes the clock's texts wider than their panels; the window
// keeps the screen's width all the same, round after round of resizing.
struct LargeText {
  const char* name;
  double dpiScale;   // as GDK_DPI_SCALE gives it
  const char* font;  // the desktop font, or the default
};

void PrintTo(const LargeText& text, std::ostream* out) { *out << text.name; }

class LargeTextTest : public WindowsTest, public ::testing::WithParamInterface<LargeText> {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    if (IsSkipped()) return;
    GtkSettings* settings = gtk_settings_get_default();
    gchar* font = nullptr;
    g_object_get(settings, "gtk-font-name", &font, "gtk-xft-dpi", &dpi_, nullptr);
    font_.reset(font);
    const gint dpi = static_cast<gint>(96 * 1024 * GetParam().dpiScale);
    g_object_set(settings, "gtk-xft-dpi", dpi, nullptr);
    if (GetParam().font != nullptr) g_object_set(settings, "gtk-font-name", GetParam().font, nullptr);
  }
  void TearDown() override {
    if (font_) g_object_set(gtk_settings_get_default(), "gtk-font-name", font_.get(), "gtk-xft-dpi", dpi_, nullptr);
  }

 private:
  OwnedString font_;
  gint dpi_ = -1;
};

TEST_P(LargeTextTest, WindowKeepsTheScreenWidth) {
  GtkForm1& form = Viewer();
  for (int i = 0; i < 50 && std::string_view(gtk_label_get_text(form.Panel(1))) == "Time"; ++i) Settle(100);
  // The case needs a clock text wider than its panel.
  const GObjectRef<PangoLayout> text = GObjectRef<PangoLayout>::Adopt(
      gtk_widget_create_pango_layout(GTK_WIDGET(form.Panel(1)), gtk_label_get_text(form.Panel(1))));
  gint textWidth = 0;
  pango_layout_get_pixel_size(text.get(), &textWidth, nullptr);
  ASSERT_GT(textWidth, 100);

  const ScreenSize screen = app_.PrimaryScreenSize();
  for (int round = 0; round < 5; ++round) {
    Settle(300);
    ASSERT_EQ(form.OuterWidth(), screen.width) << "round " << round;
  }
  gint minimum = 0;
  gtk_widget_get_preferred_width(GTK_WIDGET(form.window()), &minimum, nullptr);
  EXPECT_LE(minimum, screen.width);
  // Panel 0 keeps its rule.
  gint panelWidth = 0;
  gtk_widget_get_size_request(GTK_WIDGET(form.Panel(0)), &panelWidth, nullptr);
  EXPECT_EQ(panelWidth, screen.width - 250);
}

INSTANTIATE_TEST_SUITE_P(Table, LargeTextTest,
                         ::testing::Values(LargeText{"DpiScale125", 1.25, nullptr}, LargeText{"Font13", 1.0, "Sans 13"},
                                           LargeText{"Both", 1.25, "Sans 13"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(WindowsTest, BlankPageBeforeAnyOtherPageDoesNotClose) {
  Viewer().WebBrowser1().Navigate(u"about:blank");
  EXPECT_FALSE(RunFor(2200));
  EXPECT_TRUE(bDocComplete);
  EXPECT_FALSE(bPageReached);
  EXPECT_TRUE(Viewer().tmrWatchWeb().Enabled());
}

TEST_F(WindowsTest, PageThatLeavesForTheBlankPageClosesTheWindow) {
  const std::string page = PageLeavingFor("about:blank");
  Viewer().WebBrowser1().Navigate(Widen(page));
  EXPECT_TRUE(RunFor(8000));
  EXPECT_TRUE(bPageReached);
  EXPECT_EQ(ToUtf8(Viewer().WebBrowser1().LocationURL()), "about:blank");
  EXPECT_FALSE(Viewer().Timer1().Enabled());
  EXPECT_FALSE(Viewer().tmrWatchWeb().Enabled());
  stdfs::remove(page);
}

TEST_F(WindowsTest, PageThatLeavesForAnotherAboutAddressStays) {
  const std::string page = PageLeavingFor("about:blankx");
  Viewer().WebBrowser1().Navigate(Widen(page));
  EXPECT_FALSE(RunFor(2500));
  EXPECT_TRUE(bPageReached);
  EXPECT_TRUE(Viewer().tmrWatchWeb().Enabled());
  stdfs::remove(page);
}

TEST_F(WindowsTest, PlainPathIsShownAsAFilePage) {
  const std::string page = PageLeavingFor("#stay");
  Viewer().WebBrowser1().Navigate(Widen(page));
  Settle(700);
  gchar* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
  EXPECT_EQ(ToUtf8(Viewer().WebBrowser1().LocationURL()).rfind(uri, 0), 0u);
  g_free(uri);
  stdfs::remove(page);
}

TEST_F(WindowsTest, CtrlQClosesTheWindowAndEndsTheApplication) {
  GtkForm1& form = Viewer();
  Settle(300);
  PressKey(form.window(), GDK_KEY_q, GDK_CONTROL_MASK);
  EXPECT_TRUE(RunFor(3000));
  EXPECT_FALSE(form.Timer1().Enabled());
  EXPECT_EQ(ToUtf8(form.WebBrowser1().LocationURL()), "about:blank");
}

// A modal window of the toolkit's runs a loop of its own, as the web
// engine's dialogs do: an end request that comes while it is up ends that
// loop too, and then the application by its normal road.
TEST_F(WindowsTest, EndRequestEndsAModalWindowsOwnLoopToo) {
  GtkForm1& form = Viewer();
  Settle(300);
  struct Modal {
    Application* app;
    GtkDialog* open = nullptr;
    bool returned = false;
    bool forced = false;
  } modal{&app_};
  SourceId show(g_timeout_add(
      100,
      [](gpointer data) -> gboolean {
        auto* state = static_cast<Modal*>(data);
        GtkWidget* dialog =
            gtk_dialog_new_with_buttons("Other", nullptr, GTK_DIALOG_MODAL, "_OK", GTK_RESPONSE_OK, nullptr);
        g_timeout_add(
            300,
            [](gpointer app) -> gboolean {
              static_cast<Application*>(app)->RequestEnd();
              return G_SOURCE_REMOVE;
            },
            state->app);
        // Should nothing end it, the test does, so as to fail rather than hang.
        g_timeout_add(
            4000,
            [](gpointer late) -> gboolean {
              auto* waited = static_cast<Modal*>(late);
              if (waited->open != nullptr) {
                waited->forced = true;
                gtk_dialog_response(waited->open, GTK_RESPONSE_CANCEL);
              }
              return G_SOURCE_REMOVE;
            },
            state);
        state->open = GTK_DIALOG(dialog);
        gtk_dialog_run(GTK_DIALOG(dialog));
        state->open = nullptr;
        gtk_widget_destroy(dialog);
        state->returned = true;
        return G_SOURCE_REMOVE;
      },
      &modal));
  EXPECT_TRUE(RunFor(8000));
  show.Release();
  EXPECT_TRUE(modal.returned);
  EXPECT_FALSE(modal.forced);
  // Until the forced answer has had its time.
  Settle(4000);
  EXPECT_FALSE(form.Timer1().Enabled());
  EXPECT_EQ(ToUtf8(form.WebBrowser1().LocationURL()), "about:blank");
}

// A page may read the other files of its book, with fetch() or a request.
TEST_F(WindowsTest, PageReadsTheBooksOtherFiles) {
  BookFile("answers.txt", "42");
  const std::string page = BookFile(
      "index.html",
      "<html><body><script>"
      "var seen = [];"
      "function report(text) { seen.push(text); if (seen.length == 2) document.title = seen.sort().join(' '); }"
      "fetch('answers.txt').then(function(r) { return r.text(); })"
      "  .then(function(t) { report('fetch:' + t); }, function() { report('fetch:failed'); });"
      "var request = new XMLHttpRequest();"
      "request.onload = function() { report('request:' + request.responseText); };"
      "request.onerror = function() { report('request:failed'); };"
      "try { request.open('GET', 'answers.txt'); request.send(); } catch (e) { report('request:failed'); }"
      "</script></body></html>");
  Viewer().WebBrowser1().Navigate(Widen(page));
  auto title = [&] {
    const gchar* text = webkit_web_view_get_title(View());
    return std::string(text != nullptr ? text : "");
  };
  for (int i = 0; i < 100 && title().empty(); ++i) Settle(50);
  EXPECT_EQ(title(), "fetch:42 request:42");
}

// Ctrl with plus, minus and 0 zoom the page in steps, within bounds; Alt+Left
// goes back to the page before, if there is one.
TEST_F(WindowsTest, KeysZoomThePageAndGoBack) {
  GtkForm1& form = Viewer();
  const std::string first = BookFile("first.html", "<html><body>First</body></html>");
  const std::string second = BookFile("second.html", "<html><body>Second</body></html>");
  form.WebBrowser1().Navigate(Widen(first));
  LoadPage(first);
  ASSERT_DOUBLE_EQ(webkit_web_view_get_zoom_level(View()), 1.0);

  constexpr guint kCtrl = GDK_CONTROL_MASK;
  struct Press {
    const char* what;
    guint keyval;
    guint state;
    double zoom;  // afterwards
  };
  const Press presses[] = {
      {"Ctrl++ (shifted =)", GDK_KEY_plus, kCtrl | GDK_SHIFT_MASK, 1.1},
      {"Ctrl+=", GDK_KEY_equal, kCtrl, 1.2},
      {"Ctrl+keypad +", GDK_KEY_KP_Add, kCtrl, 1.33},
      {"Ctrl+0", GDK_KEY_0, kCtrl, 1.0},
      {"Ctrl+-", GDK_KEY_minus, kCtrl, 0.9},
      {"Ctrl+keypad -", GDK_KEY_KP_Subtract, kCtrl, 0.8},
      {"plain +", GDK_KEY_plus, GDK_SHIFT_MASK, 0.8},
      {"Alt+-", GDK_KEY_minus, GDK_MOD1_MASK, 0.8},
      {"Ctrl+keypad 0", GDK_KEY_KP_0, kCtrl, 1.0},
  };
  for (const Press& press : presses) {
    PressKey(form.window(), press.keyval, press.state);
    EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), press.zoom, 1e-9) << press.what;
  }
  for (int i = 0; i < 30; ++i) PressKey(form.window(), GDK_KEY_plus, kCtrl | GDK_SHIFT_MASK);
  EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 3.0, 1e-9) << "largest";
  for (int i = 0; i < 30; ++i) PressKey(form.window(), GDK_KEY_minus, kCtrl);
  EXPECT_NEAR(webkit_web_view_get_zoom_level(View()), 0.3, 1e-9) << "smallest";
  PressKey(form.window(), GDK_KEY_0, kCtrl);

  // The book's first page has nothing before it, not even the window's
  // first address.
  PressKey(form.window(), GDK_KEY_Left, GDK_MOD1_MASK);
  Settle(300);
  LoadPage(first);
  form.WebBrowser1().Navigate(Widen(second));
  LoadPage(second);
  PressKey(form.window(), GDK_KEY_Left, GDK_MOD1_MASK);
  LoadPage(first);
  // Nothing closes the window on the way.
  EXPECT_TRUE(form.Visible());
  EXPECT_FALSE(app_.Terminated());
}

}  // namespace
}  // namespace pagimor::gtk

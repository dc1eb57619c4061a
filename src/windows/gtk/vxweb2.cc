#include "windows/gtk/vxweb2.h"

#include <stdexcept>
#include <string>

#include "MessDlgs/gtk/Handles.h"

// Made by glib-compile-resources from the About box's layout; referring to it
// keeps the registered resource in the program.
extern "C" GResource* pagimor_about_get_resource(void);

namespace pagimor {
namespace {

constexpr const char* kLayout = "/org/pagimor/about/vxweb2.ui";

// The button keeps the laid-out 145 x 25 and the box's small type; the
// theme would make it taller than the client area has room for.
constexpr const char* kButtonStyle =
    "#BitBtn1 { min-height: 0; min-width: 0; padding: 0 4px; font-family: Sans; font-size: 8pt; }";

// The box's icon: a closed book with a question mark, 32 x 32 in few colours.
const char* const kIcon[] = {
    "32 32 7 1",
    ". c None",
    "b c #1F4FA8",
    "d c #0E2A66",
    "w c #FFFFFF",
    "g c #A0A0A0",
    "k c #000000",
    "y c #FFD400",
    "................................",
    "................................",
    "....kkkkkkkkkkkkkkkkkkkkkkk.....",
    "....kdddbbbbbbbbbbbbbbbbbbk.....",
    "....kdddbbbbbbbbbbbbbbbbbbk.....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbyyyybbbbbbbbwg....",
    "....kdddbbbbbyybbyybbbbbbbww....",
    "....kdddbbbbbbbbbyybbbbbbbwg....",
    "....kdddbbbbbbbbyybbbbbbbbww....",
    "....kdddbbbbbbbyybbbbbbbbbwg....",
    "....kdddbbbbbbbyybbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbyybbbbbbbbbww....",
    "....kdddbbbbbbbyybbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    "....kdddbbbbbbbbbbbbbbbbbbww....",
    "....kdddbbbbbbbbbbbbbbbbbbwg....",
    ".......wwwwwwwwwwwwwwwwwwwww....",
    ".......wwwwwwwwwwwwwwwwwwwwg....",
    "................................",
    "................................"
};

// A fixed dialog frame: a title and a close box, no minimize, maximize or resize.
void OnRealize(GtkWidget* widget, gpointer /*unused*/) {
  GdkWindow* window = gtk_widget_get_window(widget);
  gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
  gdk_window_set_functions(window, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
}

void OnBitBtn1Click(GtkWidget* sender, gpointer self) { static_cast<TfrmAbout*>(self)->BitBtn1Click(sender); }

GtkWidget* Widget(GtkBuilder* builder, const char* name) {
  GObject* object = gtk_builder_get_object(builder, name);
  if (object == nullptr || !GTK_IS_WIDGET(object)) {
    throw std::runtime_error(std::string("The About box's layout has no ") + name + ".");
  }
  return GTK_WIDGET(object);
}

}  // namespace

TfrmAbout::TfrmAbout() {
  if (gdk_display_get_default() == nullptr) throw std::runtime_error("There is no display to show the About box on.");
  if (pagimor_about_get_resource() == nullptr) throw std::runtime_error("The About box's layout is missing.");
  const auto builder = gtk::GObjectRef<GtkBuilder>::Adopt(gtk_builder_new());
  GError* error = nullptr;
  if (gtk_builder_add_from_resource(builder.get(), kLayout, &error) == 0) {
    const std::string reason = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("The About box's layout cannot be read: " + reason);
  }
  frmAbout_ = gtk::GObjectRef<GtkWindow>::Share(GTK_WINDOW(Widget(builder.get(), "frmAbout")));
  BitBtn1_ = Widget(builder.get(), "BitBtn1");
  lblVersion_ = Widget(builder.get(), "lblVersion");
  Label1_ = Widget(builder.get(), "Label1");
  Label2_ = Widget(builder.get(), "Label2");
  // Widgets are named after their layout ids, so that styles and tests find them.
  for (const char* name : {"frmAbout", "BitBtn1", "lblVersion", "Label1", "Label2"}) {
    gtk_widget_set_name(Widget(builder.get(), name), name);
  }

  gtk_builder_add_callback_symbol(builder.get(), "BitBtn1Click", G_CALLBACK(OnBitBtn1Click));
  gtk_builder_add_callback_symbol(builder.get(), "gtk_widget_hide_on_delete", G_CALLBACK(gtk_widget_hide_on_delete));
  gtk_builder_connect_signals(builder.get(), this);
  g_signal_connect(frmAbout_.get(), "realize", G_CALLBACK(OnRealize), nullptr);

  buttonStyle_ = gtk::GObjectRef<GtkCssProvider>::Adopt(gtk_css_provider_new());
  gtk_css_provider_load_from_data(buttonStyle_.get(), kButtonStyle, -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(BitBtn1_), GTK_STYLE_PROVIDER(buttonStyle_.get()),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);

  // gdk_pixbuf_new_from_xpm_data predates const; it only reads the rows.
  const auto icon = gtk::GObjectRef<GdkPixbuf>::Adopt(gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(kIcon)));
  if (icon) gtk_window_set_icon(frmAbout_.get(), icon.get());
}

TfrmAbout::~TfrmAbout() {
  if (frmAbout_) gtk_widget_destroy(GTK_WIDGET(frmAbout_.get()));
}

void TfrmAbout::Show() { gtk_widget_show(GTK_WIDGET(frmAbout_.get())); }

void TfrmAbout::Close() { gtk_window_close(frmAbout_.get()); }

void TfrmAbout::BitBtn1Click(GtkWidget* /*sender*/) { Close(); }

}  // namespace pagimor

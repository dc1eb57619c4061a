#include "MessDlgs/gtk/MessageForm.h"

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "MessDlgs/AccessKeys.h"
#include "MessDlgs/LangTables.h"

namespace pagimor {
namespace {

// GTK's button theme would otherwise make a button taller and wider than the
// layout allows; the caption keeps a little room at its sides.
constexpr const char* kButtonStyle = "button { min-height: 0; min-width: 0; padding: 0 4px; }";

guint AsIndex(std::size_t offset) { return static_cast<guint>(offset); }

GdkRectangle PrimaryScreenArea() {
  GdkRectangle area{0, 0, 0, 0};
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) gdk_monitor_get_geometry(monitor, &area);
  return area;
}

// The message as it is shown: up to its first NUL, invalid UTF-8 replaced so
// that nothing of the text is lost silently, access keys resolved.
ShownText ShownMessage(std::string_view text) {
  const std::string_view raw = UpToNul(text);
  const gtk::OwnedString valid(g_utf8_make_valid(raw.data(), static_cast<gssize>(raw.size())));
  return ResolveAccessKeys(valid.get());
}

}  // namespace

Size PangoCanvas::MeasureLine(std::string_view text) const {
  const gtk::GObjectRef<PangoLayout> layout = gtk::GObjectRef<PangoLayout>::Adopt(gtk_widget_create_pango_layout(widget_, nullptr));
  pango_layout_set_font_description(layout.get(), font_);
  pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout.get(), &width, &height);
  return {width, height};
}

gtk::FontDescription DesktopFont(GtkWidget* widget) {
  PangoFontDescription* fallback = nullptr;
  GtkStyleContext* style = gtk_widget_get_style_context(widget);
  gtk_style_context_get(style, gtk_style_context_get_state(style), GTK_STYLE_PROPERTY_FONT, &fallback, nullptr);
  gtk::FontDescription standard(fallback);

  gchar* name = nullptr;
  g_object_get(gtk_settings_get_for_screen(gtk_widget_get_screen(widget)), "gtk-font-name", &name, nullptr);
  const gtk::OwnedString desktopName(name);
  if (desktopName == nullptr || *desktopName == '\0') return standard;
  gtk::FontDescription desktop(pango_font_description_from_string(desktopName.get()));
  // A name that leaves out the size or the family takes those from the default.
  if (standard != nullptr) pango_font_description_merge(desktop.get(), standard.get(), FALSE);
  return desktop;
}

std::string_view IconThemeName(StockIcon icon) {
  switch (icon) {
    case StockIcon::Exclamation:
      return "dialog-warning";
    case StockIcon::Hand:
      return "dialog-error";
    case StockIcon::Asterisk:
      return "dialog-information";
    case StockIcon::Question:
      return "dialog-question";
    case StockIcon::NoIcon:
      break;
  }
  return {};
}

TMessageForm::TMessageForm() {
  if (gdk_display_get_default() == nullptr) throw std::runtime_error("There is no display to show a message on.");
  window_ = gtk::GObjectRef<GtkWindow>::Share(GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL)));
  gtk_widget_set_name(GTK_WIDGET(window_.get()), "MessageForm");
  g_signal_connect(window_.get(), "destroy", G_CALLBACK(OnDestroyed), this);
  font_ = DesktopFont(GTK_WIDGET(window_.get()));

  // The client area: a layout container asks for exactly the size it is
  // given, whatever its children would like, so the window's client area is
  // exactly the computed size.
  client_ = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_name(client_, "Client");
  gtk_container_add(GTK_CONTAINER(window_.get()), client_);

  buttonStyle_ = gtk::GObjectRef<GtkCssProvider>::Adopt(gtk_css_provider_new());
  gtk_css_provider_load_from_data(buttonStyle_.get(), kButtonStyle, -1, nullptr);
}

TMessageForm::~TMessageForm() {
  if (!window_) return;
  g_signal_handlers_disconnect_by_data(window_.get(), this);
  if (!destroyed_) gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

void TMessageForm::SetHelpContext(std::int32_t helpContext) {
  if (helpContext == std::numeric_limits<std::int32_t>::min()) {
    throw std::out_of_range("The help context -2147483648 is out of range.");
  }
  helpContext_ = helpContext;
}

void TMessageForm::SetLeft(std::int32_t x) {
  centredX_ = false;
  MoveTo({x, position_.y});
}

void TMessageForm::SetTop(std::int32_t y) {
  centredY_ = false;
  MoveTo({position_.x, y});
}

void TMessageForm::MoveTo(Point position) {
  position_ = position;
  if (!destroyed_) gtk_window_move(window_.get(), position.x, position.y);
}

GtkWidget* TMessageForm::Button(LangMessageButton id) const {
  const auto index = static_cast<std::size_t>(id);
  return index < slots_.size() ? slots_[index].widget : nullptr;
}

GtkWidget* TMessageForm::DefaultButton() const {
  return layout_.defaultButton ? Button(*layout_.defaultButton) : nullptr;
}

GtkWidget* TMessageForm::CancelButton() const {
  return layout_.cancelButton ? Button(*layout_.cancelButton) : nullptr;
}

void TMessageForm::ApplyFont(GtkWidget* label, PangoAttrList* extra) const {
  const gtk::AttrList attrs(extra != nullptr ? pango_attr_list_copy(extra) : pango_attr_list_new());
  if (font_ != nullptr) pango_attr_list_insert_before(attrs.get(), pango_attr_font_desc_new(font_.get()));
  gtk_label_set_attributes(GTK_LABEL(label), attrs.get());
}

void TMessageForm::Place(GtkWidget* child, const Rect& bounds) {
  gtk_widget_set_size_request(child, bounds.width, bounds.height);
  gtk_layout_put(GTK_LAYOUT(client_), child, bounds.left, bounds.top);
}

void TMessageForm::Build(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                         MessageLanguage language) {
  GtkWindow* window = window_.get();
  // A fixed dialog frame: no resizing, no minimize or maximize box.
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);

  unit_ = AverageCharSize(PangoCanvas(GTK_WIDGET(window), font_.get()));
  screenArea_ = PrimaryScreenArea();

  // The label is made and put on the form first, so that the text is measured
  // from the label's own Pango layout, with its font, attributes, style and
  // wrapping: exactly as it will be drawn.
  const ShownText shown = ShownMessage(text);
  const gtk::AttrList underlines(pango_attr_list_new());
  for (const ByteRange& key : shown.underlined) {
    PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    underline->start_index = AsIndex(key.begin);
    underline->end_index = AsIndex(key.end);
    pango_attr_list_insert(underlines.get(), underline);
  }
  message_ = gtk_label_new(shown.text.c_str());
  gtk_widget_set_name(message_, "Message");
  gtk_label_set_line_wrap(GTK_LABEL(message_), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(message_), PANGO_WRAP_WORD);
  gtk_label_set_xalign(GTK_LABEL(message_), 0.0F);
  gtk_label_set_yalign(GTK_LABEL(message_), 0.0F);
  ApplyFont(message_, underlines.get());
  gtk_layout_put(GTK_LAYOUT(client_), message_, 0, 0);
  {
    const auto measure =
        gtk::GObjectRef<PangoLayout>::Adopt(pango_layout_copy(gtk_label_get_layout(GTK_LABEL(message_))));
    pango_layout_set_width(measure.get(), TextWrapWidth(screenArea_.width) * PANGO_SCALE);
    pango_layout_set_wrap(measure.get(), PANGO_WRAP_WORD);
    pango_layout_get_pixel_size(measure.get(), &textSize_.width, &textSize_.height);
  }

  layout_ = LayOutLangMessage({.unit = unit_,
                               .screen = {screenArea_.width, screenArea_.height},
                               .text = textSize_,
                               .type = type,
                               .buttons = buttons,
                               .frame = {}});
  gtk_widget_set_size_request(client_, layout_.client.width, layout_.client.height);
  MoveTo({screenArea_.x + layout_.origin.x, screenArea_.y + layout_.origin.y});

  std::string title;
  if (IsKnownType(type) && type != LangMessageType::Custom) {
    title = TypeCaption(type, language);
  } else if (const gchar* application = g_get_application_name(); application != nullptr) {
    title = application;
  }
  gtk_window_set_title(window, title.c_str());

  if (layout_.icon) {
    const std::string iconName(IconThemeName(TypeIcon(type)));
    image_ = gtk_image_new_from_icon_name(iconName.c_str(), GTK_ICON_SIZE_DIALOG);
    gtk_image_set_pixel_size(GTK_IMAGE(image_), kIconSize);
    gtk_widget_set_name(image_, "Image");
    Place(image_, *layout_.icon);
  }
  gtk_widget_set_size_request(message_, layout_.message.width, layout_.message.height);
  gtk_layout_move(GTK_LAYOUT(client_), message_, layout_.message.left, layout_.message.top);

  for (const ButtonPlacement& place : layout_.buttons) CreateButton(place, language);

  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window, "map-event", G_CALLBACK(OnMapped), this);
  g_signal_connect(window, "realize", G_CALLBACK(OnRealized), nullptr);
  gtk_widget_show_all(client_);
}

GtkWidget* TMessageForm::CreateButton(const ButtonPlacement& place, MessageLanguage language) {
  const std::string caption(ButtonCaption(place.id, language));
  const std::string name(ButtonName(place.id));
  GtkWidget* button = gtk_button_new_with_label(caption.c_str());
  gtk_widget_set_name(button, name.c_str());
  gtk_style_context_add_provider(gtk_widget_get_style_context(button), GTK_STYLE_PROVIDER(buttonStyle_.get()),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  // Enter presses the focused button, not the default one.
  gtk_widget_set_receives_default(button, TRUE);

  // Every button has the common width; a caption too long for it is cut
  // short with an ellipsis and shown whole as a tooltip.
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
  ApplyFont(label, nullptr);
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  int natural = 0;
  gtk_widget_get_preferred_width(label, nullptr, &natural);
  GtkStyleContext* style = gtk_widget_get_style_context(button);
  GtkBorder padding{};
  GtkBorder border{};
  gtk_style_context_get_padding(style, gtk_style_context_get_state(style), &padding);
  gtk_style_context_get_border(style, gtk_style_context_get_state(style), &border);
  if (natural + padding.left + padding.right + border.left + border.right > place.bounds.width) {
    gtk_widget_set_tooltip_text(button, caption.c_str());
  }

  ButtonSlot& slot = slots_[static_cast<std::size_t>(place.id)];
  slot = {this, place.id, button};
  g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), &slot);
  if (place.isDefault) {
    gtk_widget_set_can_default(button, TRUE);
    gtk_window_set_default(window_.get(), button);
  }
  Place(button, place.bounds);
  return button;
}

void TMessageForm::HelpClick() {
  // No help system stands behind the context numbers on this desktop: the
  // bell tells the user that there is no help to show, and the dialog stays.
  if (!destroyed_) gtk_widget_error_bell(GTK_WIDGET(window_.get()));
}

void TMessageForm::Clicked(LangMessageButton id) {
  if (id == LangMessageButton::Help) HelpClick();
  const std::int32_t result = ButtonResult(id);
  if (result != 0) EndModal(result);
}

void TMessageForm::EndModal(std::int32_t result) {
  if (modalResult_) return;
  modalResult_ = result;
  if (inModalLoop_) gtk_main_quit();
}

namespace {

// While a modal dialog is shown the program's other windows take no input;
// afterwards they do again and the one that was active is activated again.
class OtherWindowsDisabled {
 public:
  explicit OtherWindowsDisabled(GtkWindow* dialog) {
    const gtk::List toplevels(gtk_window_list_toplevels());
    for (GList* item = toplevels.get(); item != nullptr; item = item->next) {
      auto* window = GTK_WINDOW(item->data);
      if (window == dialog || gtk_window_get_window_type(window) != GTK_WINDOW_TOPLEVEL) continue;
      if (!gtk_widget_get_visible(GTK_WIDGET(window))) continue;
      if (gtk_window_is_active(window)) wasActive_ = gtk::GObjectRef<GtkWindow>::Share(window);
      if (!gtk_widget_get_sensitive(GTK_WIDGET(window))) continue;
      gtk_widget_set_sensitive(GTK_WIDGET(window), FALSE);
      disabled_.push_back(gtk::GObjectRef<GtkWindow>::Share(window));
    }
  }
  ~OtherWindowsDisabled() {
    for (const auto& window : disabled_) gtk_widget_set_sensitive(GTK_WIDGET(window.get()), TRUE);
    // A window destroyed meanwhile is hidden and stays so.
    if (wasActive_ && gtk_widget_get_visible(GTK_WIDGET(wasActive_.get()))) gtk_window_present(wasActive_.get());
  }
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

 private:
  std::vector<gtk::GObjectRef<GtkWindow>> disabled_;
  gtk::GObjectRef<GtkWindow> wasActive_;
};

}  // namespace

std::int32_t TMessageForm::ShowModal() {
  if (destroyed_) throw std::logic_error("The message dialog's window is gone.");
  if (inModalLoop_) throw std::logic_error("The message dialog is already shown.");
  GtkWindow* window = window_.get();
  modalResult_.reset();
  recentred_ = false;
  {
    const OtherWindowsDisabled others(window);
    // The first button in creation order, the leftmost, takes the focus.
    if (!layout_.buttons.empty()) gtk_window_set_focus(window, Button(layout_.buttons.front().id));
    gtk_window_set_modal(window, TRUE);
    gtk_widget_show(GTK_WIDGET(window));
    gtk_window_present(window);
    inModalLoop_ = true;
    gtk_main();
    inModalLoop_ = false;
    if (!destroyed_) gtk_widget_hide(GTK_WIDGET(window));
  }
  if (modalResult_) return *modalResult_;
  // Nobody pressed anything: the application was asked to end, which the
  // enclosing loop has yet to hear of.
  if (gtk_main_level() > 0) gtk_main_quit();
  return kCancelledResult;
}

void TMessageForm::RecentreByFrame() {
  if (recentred_ || destroyed_ || (!centredX_ && !centredY_)) return;
  recentred_ = true;
  GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_.get()));
  if (gdkWindow == nullptr) return;
  GdkRectangle frame{0, 0, 0, 0};
  gdk_window_get_frame_extents(gdkWindow, &frame);
  const Size outer{frame.width, frame.height};
  if (outer == layout_.client || outer.width <= 0 || outer.height <= 0) return;
  const Point centre = CentreOnScreen({screenArea_.width, screenArea_.height}, outer);
  MoveTo({centredX_ ? screenArea_.x + centre.x : position_.x, centredY_ ? screenArea_.y + centre.y : position_.y});
}

void TMessageForm::OnClicked(GtkButton* /*button*/, gpointer slot) {
  const auto* s = static_cast<ButtonSlot*>(slot);
  s->form->Clicked(s->id);
}

gboolean TMessageForm::OnKeyPress(GtkWidget* /*widget*/, GdkEventKey* event, gpointer self) {
  auto* form = static_cast<TMessageForm*>(self);
  constexpr guint kModifiers = GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK;
  if (event->keyval != GDK_KEY_Escape || (event->state & kModifiers) != 0) return FALSE;
  GtkWidget* cancel = form->CancelButton();
  if (cancel == nullptr) return FALSE;
  gtk_button_clicked(GTK_BUTTON(cancel));
  return TRUE;
}

gboolean TMessageForm::OnDelete(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer self) {
  static_cast<TMessageForm*>(self)->EndModal(kCancelledResult);
  return TRUE;  // the window stays until the form is destroyed
}

void TMessageForm::OnRealized(GtkWidget* widget, gpointer /*unused*/) {
  // Tell the window manager: a title and a close box, no minimize, maximize
  // or resize.
  GdkWindow* gdkWindow = gtk_widget_get_window(widget);
  gdk_window_set_decorations(gdkWindow, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
  gdk_window_set_functions(gdkWindow, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
}

gboolean TMessageForm::OnMapped(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer self) {
  static_cast<TMessageForm*>(self)->RecentreByFrame();
  return FALSE;
}

void TMessageForm::OnDestroyed(GtkWidget* /*widget*/, gpointer self) {
  // Somebody else destroyed the window: its controls are gone with it.
  auto* form = static_cast<TMessageForm*>(self);
  form->destroyed_ = true;
  form->image_ = nullptr;
  form->message_ = nullptr;
  for (ButtonSlot& slot : form->slots_) slot.widget = nullptr;
  form->EndModal(kCancelledResult);
}

std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view text, LangMessageType type,
                                                     LangMessageButtons buttons, MessageLanguage language) {
  auto form = std::make_unique<TMessageForm>();
  form->Build(text, type, buttons, language);
  return form;
}

}  // namespace pagimor

#pragma once
// The message dialog's window on the GTK desktop. BuildLangMessageDialog
// (MessDlgs.h) creates and lays it out; ShowLangMessagePos shows it modally
// and destroys it.

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <optional>

#include "MessDlgs/LangMessageTypes.h"
#include "MessDlgs/LangTables.h"
#include "MessDlgs/Layout.h"
#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/gtk/Handles.h"

namespace pagimor {

// Measures text with Pango in a widget's context and a given font.
class PangoCanvas final : public TextCanvas {
 public:
  PangoCanvas(GtkWidget* widget, const PangoFontDescription* font) : widget_(widget), font_(font) {}
  Size MeasureLine(std::string_view text) const override;

 private:
  GtkWidget* widget_;
  const PangoFontDescription* font_;
};

// The desktop's font as GTK reports it, or GTK's default font for the widget
// when the desktop names none.
gtk::FontDescription DesktopFont(GtkWidget* widget);

// The icon theme name of a stock icon; empty for NoIcon.
std::string_view IconThemeName(StockIcon icon);

// The window of the message dialog. It owns its window and the controls the
// builder puts on it: `Image` (when the type has an icon), `Message`, and one
// button per identifier, named as in ButtonNames.
class TMessageForm {
 public:
  // An empty, hidden window with the desktop's font. Throws std::runtime_error
  // when there is no display to show it on.
  TMessageForm();
  ~TMessageForm();
  TMessageForm(const TMessageForm&) = delete;
  TMessageForm& operator=(const TMessageForm&) = delete;

  GtkWindow* Window() const { return window_.get(); }
  const PangoFontDescription* Font() const { return font_.get(); }

  // Help context numbers run from -2147483647 to 2147483647; the one value
  // below is refused with std::out_of_range.
  std::int32_t HelpContext() const { return helpContext_; }
  void SetHelpContext(std::int32_t helpContext);

  // Moves the window's outer left or top edge; that axis is no longer centred.
  void SetLeft(std::int32_t x);
  void SetTop(std::int32_t y);
  // The outer left and top edges the window is placed at.
  Point Position() const { return position_; }

  // Shows the window modally and returns the modal result that ended it: a
  // button's result, 2 from the title bar, or 2 when the application is asked
  // to end meanwhile (gtk_main_quit), which is then passed on to the enclosing
  // main loop. The window is hidden again afterwards.
  std::int32_t ShowModal();

  // The Help button's click: the dialog stays open.
  void HelpClick();

  // The controls; null when the form has none of that kind.
  GtkWidget* Image() const { return image_; }
  GtkWidget* Message() const { return message_; }
  GtkWidget* Button(LangMessageButton id) const;
  GtkWidget* DefaultButton() const;
  GtkWidget* CancelButton() const;

  // What the layout was computed from, and the layout itself.
  CharSize Unit() const { return unit_; }
  Size TextSize() const { return textSize_; }
  Size Screen() const { return {screenArea_.width, screenArea_.height}; }
  const MessageLayout& Layout() const { return layout_; }

 private:
  friend std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view, LangMessageType,
                                                              LangMessageButtons, MessageLanguage);
  struct ButtonSlot {
    TMessageForm* form = nullptr;
    LangMessageButton id = LangMessageButton::OK;
    GtkWidget* widget = nullptr;
  };

  void Build(std::string_view text, LangMessageType type, LangMessageButtons buttons, MessageLanguage language);
  GtkWidget* CreateButton(const ButtonPlacement& place, MessageLanguage language);
  void ApplyFont(GtkWidget* label, PangoAttrList* extra) const;
  void Place(GtkWidget* child, const Rect& bounds);
  void MoveTo(Point position);
  void EndModal(std::int32_t result);
  void Clicked(LangMessageButton id);
  void RecentreByFrame();

  static void OnClicked(GtkButton* button, gpointer slot);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static void OnRealized(GtkWidget* widget, gpointer unused);
  static gboolean OnMapped(GtkWidget* widget, GdkEvent* event, gpointer self);
  static void OnDestroyed(GtkWidget* widget, gpointer self);

  gtk::GObjectRef<GtkWindow> window_;
  gtk::GObjectRef<GtkCssProvider> buttonStyle_;
  gtk::FontDescription font_;
  GtkWidget* client_ = nullptr;
  GtkWidget* image_ = nullptr;
  GtkWidget* message_ = nullptr;
  std::array<ButtonSlot, kLangMessageButtonCount> slots_{};
  std::int32_t helpContext_ = 0;

  GdkRectangle screenArea_{0, 0, 0, 0};
  CharSize unit_;
  Size textSize_;
  MessageLayout layout_;
  Point position_;
  bool centredX_ = true;
  bool centredY_ = true;

  bool destroyed_ = false;
  bool inModalLoop_ = false;
  bool recentred_ = false;
  std::optional<std::int32_t> modalResult_;
};

}  // namespace pagimor

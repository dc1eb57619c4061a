// The message dialog on a real GTK display: its widgets read back against
// the layout it computed, and its modal behaviour driven by synthesized input.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "MessDlgs/LangTables.h"
#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/gtk/MessageForm.h"
#include "messdlgs/gtk_support.h"

namespace pagimor {
namespace {

using namespace pagimor::testing;
std::string ButtonText(GtkWidget* button) { return gtk_button_get_label(GTK_BUTTON(button)); }

class MessageDialog : public ::testing::Test {
 protected:
  void SetUp() override { PAGIMOR_REQUIRE_DISPLAY(); }

  // Builds the dialog and puts it on screen without its modal loop, so that
  // its widgets can be read back where they are drawn.
  static std::unique_ptr<TMessageForm> Shown(std::string_view text, LangMessageType type,
                                             LangMessageButtons buttons, MessageLanguage language) {
    auto form = BuildLangMessageDialog(text, type, buttons, language);
    gtk_widget_show(GTK_WIDGET(form->Window()));
    EXPECT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(form->Window())) != 0; }));
    return form;
  }
};

class MessageDialogLayout : public MessageDialog, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(MessageDialogLayout, WidgetsAreWhereTheLayoutPutsThem) {
  const LayoutCase& c = GetParam();
  const auto form = Shown(c.text, c.type, c.buttons, c.language);
  GtkWidget* window = GTK_WIDGET(form->Window());
  const MessageLayout& layout = form->Layout();

  EXPECT_EQ(gtk_window_get_title(form->Window()), c.title);
  EXPECT_FALSE(gtk_window_get_resizable(form->Window()));

  // The layout is the pure computation from what the form measured.
  EXPECT_EQ(layout, LayOutLangMessage({.unit = form->Unit(),
                                       .screen = form->Screen(),
                                       .text = form->TextSize(),
                                       .type = c.type,
                                       .buttons = c.buttons,
                                       .frame = {}}));

  // The client area is exactly the computed size, and with no window manager
  // the window sits where it was centred.
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  EXPECT_EQ(gdk_window_get_width(gdkWindow), layout.client.width);
  EXPECT_EQ(gdk_window_get_height(gdkWindow), layout.client.height);
  int x = 0;
  int y = 0;
  gdk_window_get_origin(gdkWindow, &x, &y);
  EXPECT_EQ(x, layout.origin.x);
  EXPECT_EQ(y, layout.origin.y);

  GtkWidget* image = FindChild(window, "Image");
  if (c.type == LangMessageType::Custom) {
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(layout.message.left, layout.metrics.horizontalMargin);
  } else {
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(layout.icon);
    EXPECT_EQ(BoundsInWindow(image), ToBox(*layout.icon));
    EXPECT_EQ(gtk_image_get_pixel_size(GTK_IMAGE(image)), 32);
    const gchar* iconName = nullptr;
    gtk_image_get_icon_name(GTK_IMAGE(image), &iconName, nullptr);
    EXPECT_EQ(std::string_view(iconName), IconThemeName(TypeIcon(c.type)));
  }

  // The label shows the text as measured: the same lines, the same size.
  GtkWidget* message = FindChild(window, "Message");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message, form->Message());
  EXPECT_EQ(gtk_label_get_text(GTK_LABEL(message)), c.shownText);
  EXPECT_TRUE(gtk_label_get_line_wrap(GTK_LABEL(message)));
  // GTK gives a shown widget at least one pixel each way, so an empty text's
  // zero-wide label is drawn one pixel wide.
  Box expectedMessage = ToBox(layout.message);
  expectedMessage.width = std::max(expectedMessage.width, 1);
  EXPECT_EQ(BoundsInWindow(message), expectedMessage);
  PangoLayout* drawn = gtk_label_get_layout(GTK_LABEL(message));
  int drawnWidth = 0;
  int drawnHeight = 0;
  pango_layout_get_pixel_size(drawn, &drawnWidth, &drawnHeight);
  EXPECT_EQ((Size{drawnWidth, drawnHeight}), form->TextSize());
  if (c.lines > 0) {
    EXPECT_EQ(pango_layout_get_line_count(drawn), c.lines);
  }

  // One button per identifier, named and captioned from the tables, all of
  // the common size, left to right in identifier order.
  int buttons = 0;
  for (int i = 0; i < kLangMessageButtonCount; ++i) {
    const auto id = static_cast<B>(i);
    GtkWidget* button = FindChild(window, std::string(ButtonName(id)));
    if (!HasButton(c.buttons, id)) {
      EXPECT_EQ(button, nullptr) << ButtonName(id);
      continue;
    }
    ASSERT_NE(button, nullptr) << ButtonName(id);
    const ButtonPlacement& place = layout.buttons[static_cast<std::size_t>(buttons++)];
    EXPECT_EQ(place.id, id);
    EXPECT_EQ(ButtonText(button), ButtonCaption(id, c.language));
    EXPECT_EQ(BoundsInWindow(button), ToBox(place.bounds)) << ButtonName(id);
    EXPECT_EQ(gtk_window_get_default_widget(form->Window()) == button, place.isDefault) << ButtonName(id);
    EXPECT_EQ(form->CancelButton() == button, place.isCancel) << ButtonName(id);
  }
  EXPECT_EQ(buttons, CountButtons(c.buttons));
  if (c.buttons == 0) {
    EXPECT_EQ(gtk_window_get_default_widget(form->Window()), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageDialogLayout, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(MessageDialog, TextWrapsIntoHalfTheScreenAndALongWordWidensIt) {
  const auto wrapped = Shown(LongText(), LangMessageType::Warning, Set({B::OK}), 0);
  const std::int32_t half = TextWrapWidth(wrapped->Screen().width);
  EXPECT_LE(wrapped->TextSize().width, half);
  EXPECT_GT(wrapped->TextSize().height, 3 * wrapped->Unit().height);

  const auto wide = Shown(std::string(150, 'W'), LangMessageType::Warning, Set({B::OK}), 0);
  EXPECT_GT(wide->TextSize().width, half);
  EXPECT_EQ(pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(wide->Message()))), 1);
}

TEST_F(MessageDialog, AccessKeyIsUnderlinedNotShown) {
  const auto form = Shown("Press &Retry", LangMessageType::Information, Set({B::OK}), 0);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(form->Message())), "Press Retry");
  bool underlined = false;
  PangoAttrIterator* it = pango_attr_list_get_iterator(gtk_label_get_attributes(GTK_LABEL(form->Message())));
  do {
    gint start = 0;
    gint end = 0;
    pango_attr_iterator_range(it, &start, &end);
    const PangoAttribute* attr = pango_attr_iterator_get(it, PANGO_ATTR_UNDERLINE);
    if (attr != nullptr && reinterpret_cast<const PangoAttrInt*>(attr)->value == PANGO_UNDERLINE_SINGLE) {
      EXPECT_EQ(start, 6);
      EXPECT_EQ(end, 7);
      underlined = true;
    }
  } while (pango_attr_iterator_next(it));
  pango_attr_iterator_destroy(it);
  EXPECT_TRUE(underlined);
}

TEST_F(MessageDialog, LongCaptionsKeepTheCommonWidth) {
  const auto form = Shown("Texto", LangMessageType::Error, Set({B::OK, B::Retry}), 2);
  GtkWidget* retry = form->Button(B::Retry);
  GtkWidget* ok = form->Button(B::OK);
  EXPECT_EQ(BoundsInWindow(retry).width, BoundsInWindow(ok).width);
  EXPECT_EQ(BoundsInWindow(retry).width, form->Layout().metrics.buttonWidth);
  EXPECT_EQ(ButtonText(retry), "Tenta Novamente");
  // Cut short on screen, it is shown whole on hovering.
  const gtk::OwnedString tip(gtk_widget_get_tooltip_text(retry));
  ASSERT_NE(tip, nullptr);
  EXPECT_STREQ(tip.get(), "Tenta Novamente");
}

TEST_F(MessageDialog, FollowsTheDesktopFont) {
  GtkSettings* settings = gtk_settings_get_default();
  gchar* saved = nullptr;
  g_object_get(settings, "gtk-font-name", &saved, nullptr);
  const gtk::OwnedString restore(saved);

  g_object_set(settings, "gtk-font-name", "Sans 10", nullptr);
  const auto small = BuildLangMessageDialog("Text", LangMessageType::Error, Set({B::OK}), 0);
  g_object_set(settings, "gtk-font-name", "Serif Bold 20", nullptr);
  const auto large = BuildLangMessageDialog("Text", LangMessageType::Error, Set({B::OK}), 0);
  g_object_set(settings, "gtk-font-name", restore.get(), nullptr);

  EXPECT_GT(large->Unit().width, small->Unit().width);
  EXPECT_GT(large->Unit().height, small->Unit().height);
  EXPECT_EQ(pango_font_description_get_size(large->Font()), 20 * PANGO_SCALE);
  EXPECT_EQ(pango_font_description_get_weight(large->Font()), PANGO_WEIGHT_BOLD);
  EXPECT_EQ(large->Layout().metrics.buttonWidth, MulDiv(50, large->Unit().width, 4));
  // The label and the buttons show the form's font.
  for (GtkWidget* label : {large->Message(), gtk_bin_get_child(GTK_BIN(large->Button(B::OK)))}) {
    PangoAttrIterator* it = pango_attr_list_get_iterator(gtk_label_get_attributes(GTK_LABEL(label)));
    const auto* font = reinterpret_cast<const PangoAttrFontDesc*>(pango_attr_iterator_get(it, PANGO_ATTR_FONT_DESC));
    ASSERT_NE(font, nullptr);
    EXPECT_TRUE(pango_font_description_equal(font->desc, large->Font()));
    pango_attr_iterator_destroy(it);
  }
}

// ---- modal behaviour ----

struct KeyCase {
  const char* name;
  LangMessageButtons buttons;
  std::vector<std::pair<guint, guint>> keys;  // keyval, modifiers
  std::int32_t expected;
};

const KeyCase kKeyCases[] = {
    {"EscOnYesNoIsNo", Set({B::Yes, B::No}), {{GDK_KEY_Escape, 0}}, 7},
    {"EnterOnOk", Set({B::OK}), {{GDK_KEY_Return, 0}}, 1},
    {"EscOnOk", Set({B::OK}), {{GDK_KEY_Escape, 0}}, 1},
    {"EnterOnAbortRetryIgnoreIsAbort", Set({B::Abort, B::Retry, B::Ignore}), {{GDK_KEY_Return, 0}}, 3},
    {"EscWithoutCancelButtonDoesNothing", Set({B::Abort, B::Retry, B::Ignore}),
     {{GDK_KEY_Escape, 0}, {GDK_KEY_Return, 0}}, 3},
    {"EscWithModifierDoesNothing", Set({B::Yes, B::No}),
     {{GDK_KEY_Escape, GDK_SHIFT_MASK}, {GDK_KEY_Escape, GDK_CONTROL_MASK}, {GDK_KEY_Escape, GDK_MOD1_MASK},
      {GDK_KEY_Return, 0}},
     6},
};

class MessageDialogKeys : public MessageDialog, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(MessageDialogKeys, EndTheDialogWithTheButtonsResult) {
  const KeyCase& c = GetParam();
  std::vector<WindowDriver::Step> steps;
  for (const auto& [keyval, state] : c.keys) {
    steps.push_back([keyval = keyval, state = state](GtkWindow* dialog) { SendKey(dialog, keyval, state); });
  }
  const WindowDriver driver("MessageForm", steps);
  EXPECT_EQ(ShowLangMessage("Press a key", LangMessageType::Confirmation, c.buttons, 0, 0), c.expected);
  EXPECT_FALSE(driver.GaveUp());
  EXPECT_EQ(driver.StepsRun(), c.keys.size());
  EXPECT_EQ(WindowsNamed("MessageForm"), 0);  // destroyed before returning
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageDialogKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(MessageDialog, FocusStartsOnTheFirstButtonNotTheDefault) {
  std::string focused;
  std::string byDefault;
  const WindowDriver driver("MessageForm", {[&](GtkWindow* dialog) {
                              if (GtkWidget* w = gtk_window_get_focus(dialog)) focused = NameOf(w);
                              if (GtkWidget* w = gtk_window_get_default_widget(dialog)) byDefault = NameOf(w);
                              gtk_window_close(dialog);
                            }});
  ShowLangMessage("Disk", LangMessageType::Error, Set({B::Abort, B::Retry, B::Ignore}), 0, 0);
  EXPECT_EQ(focused, "Abort");
  EXPECT_EQ(byDefault, "Retry");
}

TEST_F(MessageDialog, TitleBarCloseGivesTwo) {
  for (const LangMessageButtons buttons : {Set({B::OK}), LangMessageButtons{0}, Set({B::Yes, B::No})}) {
    const WindowDriver driver("MessageForm", {[](GtkWindow* dialog) { gtk_window_close(dialog); }});
    EXPECT_EQ(ShowLangMessage("Close me", LangMessageType::Warning, buttons, 0, 0), 2) << buttons;
    EXPECT_FALSE(driver.GaveUp());
  }
}

TEST_F(MessageDialog, HelpLeavesTheDialogOpen) {
  bool openAfterHelp = false;
  const WindowDriver driver("MessageForm",
                            {[](GtkWindow* dialog) { gtk_button_clicked(GTK_BUTTON(FindChild(GTK_WIDGET(dialog), "Help"))); },
                             [&](GtkWindow* dialog) {
                               openAfterHelp = gtk_widget_get_visible(GTK_WIDGET(dialog)) != 0;
                               SendKey(dialog, GDK_KEY_Escape);
                             }});
  EXPECT_EQ(ShowLangMessage("Help?", LangMessageType::Information, Set({B::OK, B::Help}), 17, 0), 1);
  EXPECT_TRUE(openAfterHelp);
  EXPECT_EQ(driver.StepsRun(), 2U);
}

TEST_F(MessageDialog, EveryButtonEndsWithItsResult) {
  for (int i = 0; i < kLangMessageButtonCount; ++i) {
    const auto id = static_cast<B>(i);
    if (id == B::Help) continue;
    const WindowDriver driver("MessageForm", {[id](GtkWindow* dialog) {
                                gtk_button_clicked(GTK_BUTTON(FindChild(GTK_WIDGET(dialog), std::string(ButtonName(id)))));
                              }});
    EXPECT_EQ(ShowLangMessage("Which?", LangMessageType::Confirmation, kAllButtons, 0, 3), ButtonResult(id))
        << ButtonName(id);
  }
}

TEST_F(MessageDialog, ApplicationAskedToEndGivesTwoAndStillEnds) {
  std::int32_t result = -1;
  bool outerLoopEnded = false;
  const WindowDriver driver("MessageForm", {[](GtkWindow*) { gtk_main_quit(); }});
  // The dialog is shown from inside the application's main loop, as an event
  // handler would; the request to end must reach that loop too.
  auto show = [](gpointer data) -> gboolean {
    *static_cast<std::int32_t*>(data) = ShowLangMessage("Quit?", LangMessageType::Warning, Set({B::OK}), 0, 0);
    return G_SOURCE_REMOVE;
  };
  g_idle_add(show, &result);
  gtk_main();
  outerLoopEnded = !driver.GaveUp();
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(outerLoopEnded);
  EXPECT_EQ(WindowsNamed("MessageForm"), 0);
}

TEST_F(MessageDialog, DestroyedWindowEndsTheDialog) {
  const WindowDriver driver("MessageForm", {[](GtkWindow* dialog) { gtk_widget_destroy(GTK_WIDGET(dialog)); }});
  EXPECT_EQ(ShowLangMessage("Gone", LangMessageType::Warning, Set({B::OK}), 0, 0), 2);
  EXPECT_FALSE(driver.GaveUp());
}

TEST_F(MessageDialog, HelpContextMinimumIsRefusedBeforeShowing) {
  bool shown = false;
  const WindowDriver driver("MessageForm", {[&](GtkWindow* dialog) {
                              shown = true;
                              gtk_window_close(dialog);
                            }});
  EXPECT_THROW(ShowLangMessage("No", LangMessageType::Error, Set({B::OK}), std::numeric_limits<std::int32_t>::min(), 0),
               std::out_of_range);
  EXPECT_FALSE(shown);
  EXPECT_EQ(WindowsNamed("MessageForm"), 0);

  const auto form = BuildLangMessageDialog("Yes", LangMessageType::Error, Set({B::OK}), 0);
  EXPECT_EQ(form->HelpContext(), 0);
  form->SetHelpContext(std::numeric_limits<std::int32_t>::min() + 1);
  EXPECT_EQ(form->HelpContext(), -2147483647);
  form->SetHelpContext(std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(form->HelpContext(), 2147483647);
}

TEST_F(MessageDialog, OtherWindowsTakeNoInputWhileShown) {
  GtkWidget* active = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* disabled = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* hidden = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_sensitive(disabled, FALSE);
  gtk_widget_show(active);
  gtk_widget_show(disabled);
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(active) && gtk_widget_get_mapped(disabled); }));

  bool activeSensitive = true;
  bool dialogSensitive = false;
  bool hiddenSensitive = false;
  const WindowDriver driver("MessageForm", {[&](GtkWindow* dialog) {
                              activeSensitive = gtk_widget_get_sensitive(active);
                              hiddenSensitive = gtk_widget_get_sensitive(hidden);
                              dialogSensitive = gtk_widget_is_sensitive(GTK_WIDGET(dialog));
                              SendKey(dialog, GDK_KEY_Return);
                            }});
  EXPECT_EQ(ShowLangMessage("Modal", LangMessageType::Information, Set({B::OK}), 0, 0), 1);
  EXPECT_FALSE(activeSensitive);
  EXPECT_TRUE(dialogSensitive);
  EXPECT_TRUE(hiddenSensitive);  // a hidden window is left alone
  EXPECT_TRUE(gtk_widget_get_sensitive(active));
  EXPECT_FALSE(gtk_widget_get_sensitive(disabled));  // it was disabled before and stays so
  for (GtkWidget* w : {active, disabled, hidden}) gtk_widget_destroy(w);
}

TEST_F(MessageDialog, PositionGivenPerAxisOverridesTheCentring) {
  const auto centred = BuildLangMessageDialog("Where", LangMessageType::Information, Set({B::OK}), 0);
  const Point origin = centred->Layout().origin;
  struct Case {
    std::int32_t x, y;
    Point expected;
  } const cases[] = {{-1, -1, origin}, {100, -1, {100, origin.y}}, {-5, 70, {origin.x, 70}}, {0, 0, {0, 0}}};
  for (const Case& c : cases) {
    Point where{-1, -1};
    const WindowDriver driver("MessageForm", {[&](GtkWindow* dialog) {
                                gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(dialog)), &where.x, &where.y);
                                gtk_window_close(dialog);
                              }});
    ShowLangMessagePos("Where", LangMessageType::Information, Set({B::OK}), 0, c.x, c.y, 0);
    EXPECT_EQ(where, c.expected) << c.x << ", " << c.y;
  }
}

}  // namespace
}  // namespace pagimor

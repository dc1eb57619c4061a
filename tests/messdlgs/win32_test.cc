// The message dialog on Win32, in this process: its controls read back
// against the layout it computed, and its modal behaviour driven by keys and
// clicks as the user would give them. Windows need a display (scripts/test
// runs Wine on a virtual one).
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "MessDlgs/AccessKeys.h"
#include "MessDlgs/LangTables.h"
#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/win32/MessageForm.h"
#include "messdlgs/win32_support.h"
#include "platform/win32/application.h"

namespace pagimor {
namespace {

using namespace pagimor::testing;
[[maybe_unused]] const bool kUnmanaged = UnmanagedUnderWine(L"messdlgs_win32_test.exe");

std::wstring Wide(std::string_view text) { return win32::Utf8ToWide(text); }

// The text's size as the system draws it in the form's font, wrapped into
// width.
Size DrawnSize(const TMessageForm& form, const std::wstring& text, int width) {
  const win32::WindowDC dc(form.Handle());
  const win32::SelectedObject withFont(dc.get(), form.Font());
  RECT r{0, 0, width, 0};
  ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  return {r.right - r.left, r.bottom - r.top};
}

// The children of the window by their component names, in creation order.
std::vector<std::string> ChildNames(HWND window) {
  std::vector<std::string> names;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    names.emplace_back(ControlName(child));
  }
  return names;
}

LONG_PTR StyleOf(HWND window) { return ::GetWindowLongPtrW(window, GWL_STYLE); }

class MessageDialog : public ::testing::Test {
 protected:
  // Builds the dialog for the application "EBook" and puts it on screen
  // without its modal loop, so that its controls can be read back where
  // they are.
  static std::unique_ptr<TMessageForm> Shown(std::string_view text, LangMessageType type,
                                             LangMessageButtons buttons, MessageLanguage language) {
    auto form = BuildLangMessageDialog(text, type, buttons, language, "EBook");
    ::ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(form->Handle()) != 0; }));
    return form;
  }
};

class MessageDialogLayout : public MessageDialog, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(MessageDialogLayout, ControlsAreWhereTheLayoutPutsThem) {
  const LayoutCase& c = GetParam();
  const auto form = Shown(c.text, c.type, c.buttons, c.language);
  HWND window = form->Handle();
  const MessageLayout& layout = form->Layout();

  EXPECT_EQ(TextOf(window), c.title);
  // A fixed dialog frame with a close box: not resizable, no minimize or
  // maximize box.
  const LONG_PTR style = StyleOf(window);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_POPUP), WS_CAPTION | WS_SYSMENU | WS_POPUP);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);

  // The layout is the pure computation from what the form measured, and the
  // frame it was centred with is the window's own.
  EXPECT_EQ(form->Screen(), (Size{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}));
  EXPECT_EQ(layout, LayOutLangMessage({.unit = form->Unit(),
                                       .screen = form->Screen(),
                                       .text = form->TextSize(),
                                       .type = c.type,
                                       .buttons = c.buttons,
                                       .frame = form->Frame()}));
  const Box client = ClientBox(window);
  const Box outer = WindowBox(window);
  EXPECT_EQ(client, (Box{0, 0, layout.client.width, layout.client.height}));
  EXPECT_EQ(outer.width - client.width, form->Frame().width);
  EXPECT_EQ(outer.height - client.height, form->Frame().height);
  EXPECT_EQ((Point{outer.left, outer.top}), layout.origin);
  EXPECT_EQ((Point{outer.left, outer.top}), form->Position());

  // Exactly the controls of the layout, named, in creation order.
  std::vector<std::string> expected;
  if (layout.icon) expected.emplace_back("Image");
  expected.emplace_back("Message");
  for (const ButtonPlacement& place : layout.buttons) expected.emplace_back(ButtonName(place.id));
  EXPECT_EQ(ChildNames(window), expected);

  if (c.type == LangMessageType::Custom) {
    EXPECT_EQ(form->Image(), nullptr);
    EXPECT_EQ(layout.message.left, layout.metrics.horizontalMargin);
  } else {
    ASSERT_NE(form->Image(), nullptr);
    ASSERT_TRUE(layout.icon);
    EXPECT_EQ(BoundsInParent(form->Image()), ToBox(*layout.icon));
    EXPECT_EQ(BoundsInParent(form->Image()).width, 32);
    EXPECT_EQ(StyleOf(form->Image()) & SS_TYPEMASK, SS_ICON);
    const HICON stock = ::LoadIconW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(TypeIcon(c.type))));
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(form->Image(), STM_GETICON, 0, 0)), stock);
  }

  // The label holds the text up to its NUL, with its access-key prefixes
  // for the system to resolve, and is as large as the text was measured;
  // drawn into its width the text needs no more room than that.
  HWND message = form->Message();
  ASSERT_NE(message, nullptr);
  const std::wstring shown = Wide(UpToNul(c.text));
  std::wstring labelText(shown.size() + 2, L'\0');
  labelText.resize(static_cast<std::size_t>(::GetWindowTextW(message, labelText.data(), static_cast<int>(labelText.size()))));
  EXPECT_EQ(labelText, shown);
  EXPECT_EQ(StyleOf(message) & (SS_TYPEMASK | SS_NOPREFIX), SS_LEFT);
  EXPECT_EQ(BoundsInParent(message), ToBox(layout.message));
  EXPECT_EQ(DrawnSize(*form, shown, layout.message.width), form->TextSize());
  if (c.lines > 0) {
    EXPECT_EQ(form->TextSize().height, c.lines * form->Unit().height);
  }

  // Every control with a text shows the form's font.
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (child == form->Image()) continue;
    EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)), form->Font()) << ControlName(child);
  }

  // One button per identifier, captioned from the tables, all of the common
  // size, left to right in identifier order; the default one is the dialog's
  // default and drawn so.
  const LRESULT defId = ::SendMessageW(window, DM_GETDEFID, 0, 0);
  int buttons = 0;
  for (int i = 0; i < kLangMessageButtonCount; ++i) {
    const auto id = static_cast<B>(i);
    HWND button = form->Button(id);
    if (!HasButton(c.buttons, id)) {
      EXPECT_EQ(button, nullptr) << ButtonName(id);
      continue;
    }
    ASSERT_NE(button, nullptr) << ButtonName(id);
    const ButtonPlacement& place = layout.buttons[static_cast<std::size_t>(buttons++)];
    EXPECT_EQ(place.id, id);
    EXPECT_EQ(TextOf(button), ButtonCaption(id, c.language)) << ButtonName(id);
    EXPECT_EQ(BoundsInParent(button), ToBox(place.bounds)) << ButtonName(id);
    EXPECT_NE(StyleOf(button) & WS_TABSTOP, 0) << ButtonName(id);
    EXPECT_EQ((StyleOf(button) & BS_TYPEMASK) == BS_DEFPUSHBUTTON, place.isDefault) << ButtonName(id);
    EXPECT_EQ(HIWORD(defId) == DC_HASDEFID && LOWORD(defId) == ButtonControlId(id), place.isDefault)
        << ButtonName(id);
    EXPECT_EQ(form->CancelButton() == button, place.isCancel) << ButtonName(id);
  }
  EXPECT_EQ(buttons, CountButtons(c.buttons));
  if (!layout.defaultButton) {
    EXPECT_EQ(form->DefaultButton(), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageDialogLayout, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(MessageDialog, TextWrapsIntoHalfTheScreenAndALongWordWidensIt) {
  const auto wrapped = Shown(LongText(), LangMessageType::Warning, Set({B::OK}), 0);
  const std::int32_t half = TextWrapWidth(wrapped->Screen().width);
  EXPECT_LE(wrapped->TextSize().width, half);
  EXPECT_GT(wrapped->TextSize().width, half * 3 / 4);
  EXPECT_GT(wrapped->TextSize().height, 3 * wrapped->Unit().height);

  const auto wide = Shown(std::string(150, 'W'), LangMessageType::Warning, Set({B::OK}), 0);
  EXPECT_GT(wide->TextSize().width, half);
  EXPECT_EQ(wide->TextSize().height, wide->Unit().height);
  EXPECT_GT(wide->Layout().client.width, half);
}

TEST_F(MessageDialog, AccessKeysAreMeasuredAsShown) {
  // '&' is not shown and "&&" shows one: the text is measured without them.
  struct Case {
    std::string text;
    std::string shown;
  } const cases[] = {{"Press &Retry", "Press Retry"}, {"Salt && pepper", "Salt & pepper"}, {"&&&Ok", "&Ok"}};
  for (const Case& c : cases) {
    const auto form = Shown(c.text, LangMessageType::Information, Set({B::OK}), 0);
    const win32::WindowDC dc(form->Handle());
    const win32::SelectedObject withFont(dc.get(), form->Font());
    const std::wstring shown = Wide(c.shown);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &extent);
    EXPECT_EQ(form->TextSize(), (Size{extent.cx, extent.cy})) << c.text;
  }
}

TEST_F(MessageDialog, LongCaptionsKeepTheCommonWidthAndShowWholeAsATooltip) {
  const auto form = Shown("Texto", LangMessageType::Error, Set({B::OK, B::Retry}), 2);
  HWND retry = form->Button(B::Retry);
  HWND ok = form->Button(B::OK);
  EXPECT_EQ(BoundsInParent(retry).width, BoundsInParent(ok).width);
  EXPECT_EQ(BoundsInParent(retry).width, form->Layout().metrics.buttonWidth);
  EXPECT_EQ(TextOf(retry), "Tenta Novamente");
  EXPECT_EQ(form->TooltipText(retry), L"Tenta Novamente");
  EXPECT_EQ(form->TooltipText(ok), L"");
}

TEST_F(MessageDialog, TakesTheSystemsMessageFont) {
  NONCLIENTMETRICSW saved{};
  saved.cbSize = sizeof saved;
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved, &saved, 0));

  const auto standard = BuildLangMessageDialog("Text", LangMessageType::Error, Set({B::OK}), 0);
  EXPECT_TRUE(standard->HasMessageFont());
  LOGFONTW font{};
  ASSERT_EQ(::GetObjectW(standard->Font(), sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfHeight, saved.lfMessageFont.lfHeight);
  EXPECT_STREQ(font.lfFaceName, saved.lfMessageFont.lfFaceName);
  TEXTMETRICW metrics{};
  {
    const win32::WindowDC dc(standard->Handle());
    const win32::SelectedObject withFont(dc.get(), standard->Font());
    ::GetTextMetricsW(dc.get(), &metrics);
  }
  EXPECT_EQ(standard->Unit().height, metrics.tmHeight);

  // Twice as large a message font makes everything larger; only this
  // process sees the change.
  std::unique_ptr<TMessageForm> bigger;
  {
    struct Restore {
      NONCLIENTMETRICSW& metrics;
      ~Restore() { ::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0); }
    } const restore{saved};
    NONCLIENTMETRICSW large = saved;
    large.lfMessageFont.lfHeight = saved.lfMessageFont.lfHeight * 2;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof large, &large, 0));
    bigger = BuildLangMessageDialog("Text", LangMessageType::Error, Set({B::OK}), 0);
  }

  EXPECT_GT(bigger->Unit().width, standard->Unit().width);
  EXPECT_GT(bigger->Unit().height, standard->Unit().height);
  EXPECT_GT(bigger->TextSize().width, standard->TextSize().width);
  EXPECT_EQ(bigger->Layout().metrics.buttonWidth, MulDiv(50, bigger->Unit().width, 4));
  EXPECT_GT(bigger->Layout().client.height, standard->Layout().client.height);
}

TEST_F(MessageDialog, CustomWithoutATitleTakesTheProgramsName) {
  const auto form = BuildLangMessageDialog("Text", LangMessageType::Custom, Set({B::OK}), 0);
  EXPECT_EQ(TextOf(form->Handle()), "messdlgs_win32_test");
  EXPECT_EQ(ProgramTitle(), "messdlgs_win32_test");
}

// ---- modal behaviour ----

struct Key {
  UINT key;
  unsigned modifiers;
};

struct KeyCase {
  const char* name;
  LangMessageButtons buttons;
  std::vector<Key> keys;
  std::int32_t expected;
  friend void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }
};

const KeyCase kKeyCases[] = {
    {"EscOnYesNoIsNo", Set({B::Yes, B::No}), {{VK_ESCAPE, kNoModifier}}, 7},
    {"EnterOnYesNoIsYes", Set({B::Yes, B::No}), {{VK_RETURN, kNoModifier}}, 6},
    {"EnterOnOk", Set({B::OK}), {{VK_RETURN, kNoModifier}}, 1},
    {"EscOnOk", Set({B::OK}), {{VK_ESCAPE, kNoModifier}}, 1},
    {"EscOnOkCancelIsCancel", Set({B::OK, B::Cancel}), {{VK_ESCAPE, kNoModifier}}, 2},
    {"EnterOnAbortRetryIgnoreIsAbort", Set({B::Abort, B::Retry, B::Ignore}), {{VK_RETURN, kNoModifier}}, 3},
    {"EscWithoutCancelButtonDoesNothing", Set({B::Abort, B::Retry, B::Ignore}),
     {{VK_ESCAPE, kNoModifier}, {VK_RETURN, kNoModifier}}, 3},
    {"EscWithModifierDoesNothing", Set({B::Yes, B::No}),
     {{VK_ESCAPE, kShift}, {VK_ESCAPE, kControl}, {VK_ESCAPE, kAlt}, {VK_RETURN, kNoModifier}}, 6},
    {"TabMovesTheFocusAndEnterFollowsIt", Set({B::Abort, B::Retry, B::Ignore}),
     {{VK_TAB, kNoModifier}, {VK_RETURN, kNoModifier}}, 4},
    {"ShiftTabGoesRoundToTheLast", Set({B::Abort, B::Retry, B::Ignore}),
     {{VK_TAB, kShift}, {VK_RETURN, kNoModifier}}, 5},
    {"SpacePressesTheFocusedButton", Set({B::Yes, B::No}), {{VK_TAB, kNoModifier}, {VK_SPACE, kNoModifier}}, 7},
};

class MessageDialogKeys : public MessageDialog, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(MessageDialogKeys, EndTheDialogWithTheButtonsResult) {
  const KeyCase& c = GetParam();
  // Posted keys are handled before the driver's next step, so the modifiers
  // are held while their key is handled.
  std::optional<HeldModifiers> held;
  std::vector<DialogDriver::Step> steps;
  for (const Key& key : c.keys) {
    steps.push_back([&held, key](HWND) {
      held.reset();
      held.emplace(key.modifiers);
      PostKey(key.key, key.modifiers);
    });
  }
  const DialogDriver driver(steps);
  EXPECT_EQ(ShowLangMessage("Press a key", LangMessageType::Confirmation, c.buttons, 0, 0), c.expected);
  held.reset();
  EXPECT_FALSE(driver.GaveUp());
  EXPECT_EQ(driver.StepsRun(), c.keys.size());
  EXPECT_EQ(DialogWindows(), 0);  // destroyed before returning
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageDialogKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(MessageDialog, TheTextsAccessKeyOnlyShows) {
  // The label underlines its access key but, unlike a label that names a
  // control, does not act on it: the focus stays where it is.
  for (const unsigned modifiers : {kNoModifier, kAlt}) {
    std::optional<HeldModifiers> held;
    const DialogDriver driver({[](HWND) { PostKey(VK_TAB); },
                               [&](HWND) {
                                 held.emplace(modifiers);
                                 PostKey('R', modifiers);
                               },
                               [&](HWND) {
                                 held.reset();
                                 PostKey(VK_RETURN);
                               }});
    EXPECT_EQ(ShowLangMessage("Press &Retry", LangMessageType::Confirmation, Set({B::Yes, B::No}), 0, 0), 7)
        << modifiers;
    EXPECT_EQ(driver.StepsRun(), 3U);
  }
}

TEST_F(MessageDialog, FocusStartsOnTheFirstButtonNotTheDefault) {
  std::string focused;
  LRESULT defId = 0;
  bool active = false;
  const DialogDriver driver({[&](HWND dialog) {
    focused = ControlName(::GetFocus());
    defId = ::SendMessageW(dialog, DM_GETDEFID, 0, 0);
    active = ::GetActiveWindow() == dialog;
    ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  }});
  ShowLangMessage("Disk", LangMessageType::Error, Set({B::Abort, B::Retry, B::Ignore}), 0, 0);
  EXPECT_EQ(focused, "Abort");
  EXPECT_EQ(LOWORD(defId), ButtonControlId(B::Retry));
  EXPECT_TRUE(active);
}

TEST_F(MessageDialog, TitleBarCloseGivesTwo) {
  for (const LangMessageButtons buttons : {Set({B::OK}), LangMessageButtons{0}, Set({B::Yes, B::No})}) {
    const DialogDriver driver({[](HWND dialog) { ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }});
    EXPECT_EQ(ShowLangMessage("Close me", LangMessageType::Warning, buttons, 0, 0), 2) << buttons;
    EXPECT_FALSE(driver.GaveUp());
  }
}

TEST_F(MessageDialog, HelpLeavesTheDialogOpen) {
  bool openAfterHelp = false;
  const DialogDriver driver({[](HWND dialog) { ::SendMessageW(::GetDlgItem(dialog, ButtonControlId(B::Help)), BM_CLICK, 0, 0); },
                             [&](HWND dialog) {
                               openAfterHelp = ::IsWindowVisible(dialog) != 0;
                               PostKey(VK_ESCAPE);
                             }});
  EXPECT_EQ(ShowLangMessage("Help?", LangMessageType::Information, Set({B::OK, B::Help}), 17, 0), 1);
  EXPECT_TRUE(openAfterHelp);
  EXPECT_EQ(driver.StepsRun(), 2U);
}

TEST_F(MessageDialog, EveryButtonEndsWithItsResult) {
  for (int i = 0; i < kLangMessageButtonCount; ++i) {
    const auto id = static_cast<B>(i);
    if (id == B::Help) continue;
    const DialogDriver driver({[id](HWND dialog) {
      ::SendMessageW(::GetDlgItem(dialog, ButtonControlId(id)), BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(ShowLangMessage("Which?", LangMessageType::Confirmation, kAllButtons, 0, 3), ButtonResult(id))
        << ButtonName(id);
  }
}

TEST_F(MessageDialog, AskedToQuitGivesTwoAndTheApplicationStillEnds) {
  win32::Win32Application app;
  app.Initialize();
  std::int32_t result = -1;
  int ticksWhileShown = 0;
  // The application's timer goes on ticking inside the dialog's loop; after
  // a few ticks it asks the thread to quit.
  const auto timer = app.CreateTimer(20, [&] {
    if (ShownDialog() != nullptr && ++ticksWhileShown == 3) ::PostQuitMessage(0);
  });
  const DialogDriver guard({});
  // Shown from inside the application's loop, as an event handler would.
  const auto show = app.CreateTimer(10, [&] {
    if (result != -1) return;
    result = 0;
    result = ShowLangMessage("Quit?", LangMessageType::Warning, Set({B::OK}), 0, 0);
  });
  app.RunMessageLoop();
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(guard.GaveUp());
  EXPECT_EQ(ticksWhileShown, 3);
  EXPECT_EQ(DialogWindows(), 0);
}

TEST_F(MessageDialog, DestroyedWindowEndsTheDialog) {
  const DialogDriver driver({[](HWND dialog) { ::DestroyWindow(dialog); }});
  EXPECT_EQ(ShowLangMessage("Gone", LangMessageType::Warning, Set({B::OK}), 0, 0), 2);
  EXPECT_FALSE(driver.GaveUp());
}

TEST_F(MessageDialog, HelpContextMinimumIsRefusedBeforeShowing) {
  bool shown = false;
  const DialogDriver driver({[&](HWND dialog) {
    shown = true;
    ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  }});
  EXPECT_THROW(ShowLangMessage("No", LangMessageType::Error, Set({B::OK}), std::numeric_limits<std::int32_t>::min(), 0),
               std::out_of_range);
  EXPECT_FALSE(shown);
  EXPECT_EQ(DialogWindows(), 0);

  const auto form = BuildLangMessageDialog("Yes", LangMessageType::Error, Set({B::OK}), 0);
  EXPECT_EQ(form->HelpContext(), 0);
  form->SetHelpContext(std::numeric_limits<std::int32_t>::min() + 1);
  EXPECT_EQ(form->HelpContext(), -2147483647);
  form->SetHelpContext(std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(form->HelpContext(), 2147483647);
  EXPECT_THROW(form->SetHelpContext(std::numeric_limits<std::int32_t>::min()), std::out_of_range);
  EXPECT_EQ(form->HelpContext(), 2147483647);
}

// A plain top-level window of this thread.
win32::UniqueWindow PlainWindow(const wchar_t* title, bool visible) {
  win32::UniqueWindow window(::CreateWindowExW(0, L"Static", title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                                               10, 10, 200, 100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
  EXPECT_NE(window, nullptr);
  return window;
}

TEST_F(MessageDialog, OtherWindowsTakeNoInputWhileShown) {
  const auto active = PlainWindow(L"active", true);
  const auto disabled = PlainWindow(L"disabled", true);
  const auto hidden = PlainWindow(L"hidden", false);
  ::EnableWindow(disabled.get(), FALSE);
  ::SetActiveWindow(active.get());
  ASSERT_EQ(::GetActiveWindow(), active.get());

  bool activeEnabled = true;
  bool hiddenEnabled = false;
  bool dialogEnabled = false;
  HWND owner = nullptr;
  const DialogDriver driver({[&](HWND dialog) {
    activeEnabled = ::IsWindowEnabled(active.get()) != 0;
    hiddenEnabled = ::IsWindowEnabled(hidden.get()) != 0;
    dialogEnabled = ::IsWindowEnabled(dialog) != 0;
    owner = ::GetWindow(dialog, GW_OWNER);
    PostKey(VK_RETURN);
  }});
  EXPECT_EQ(ShowLangMessage("Modal", LangMessageType::Information, Set({B::OK}), 0, 0), 1);
  EXPECT_FALSE(activeEnabled);
  EXPECT_TRUE(dialogEnabled);
  EXPECT_TRUE(hiddenEnabled);  // a hidden window is left alone
  EXPECT_EQ(owner, active.get());  // kept above the window it interrupts
  EXPECT_TRUE(::IsWindowEnabled(active.get()));
  EXPECT_FALSE(::IsWindowEnabled(disabled.get()));  // it was disabled before and stays so
  EXPECT_EQ(::GetActiveWindow(), active.get());
}

TEST_F(MessageDialog, OwnerDestroyedWhileShownEndsTheDialog) {
  auto main = PlainWindow(L"main", true);
  ::SetActiveWindow(main.get());
  const DialogDriver driver({[&](HWND) { main.reset(); }});
  EXPECT_EQ(ShowLangMessage("Gone with its owner", LangMessageType::Warning, Set({B::OK}), 0, 0), 2);
  EXPECT_FALSE(driver.GaveUp());
  EXPECT_EQ(DialogWindows(), 0);
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
    const DialogDriver driver({[&](HWND dialog) {
      const Box box = WindowBox(dialog);
      where = {box.left, box.top};
      ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }});
    ShowLangMessagePos("Where", LangMessageType::Information, Set({B::OK}), 0, c.x, c.y, 0);
    EXPECT_EQ(where, c.expected) << c.x << ", " << c.y;
  }
}

TEST_F(MessageDialog, ShownTwiceAtOnceIsRefused) {
  const auto form = BuildLangMessageDialog("Once", LangMessageType::Information, Set({B::OK}), 0);
  bool refused = false;
  const DialogDriver driver({[&](HWND) {
    try {
      form->ShowModal();
    } catch (const std::logic_error&) {
      refused = true;
    }
    PostKey(VK_RETURN);
  }});
  EXPECT_EQ(form->ShowModal(), 1);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(::IsWindowVisible(form->Handle()));
}

}  // namespace
}  // namespace pagimor

#include "MessDlgs/win32/MessageForm.h"

#include <commctrl.h>

#include <limits>
#include <stdexcept>
#include <vector>

#include "MessDlgs/AccessKeys.h"
#include "platform/win32/path.h"
#include "platform/win32/window_owner.h"

namespace pagimor {
namespace {

// A fixed dialog frame: a title bar with the system menu and its close box,
// no minimize or maximize box, not resizable.
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;

// The text is measured as the label draws it: word-wrapped, with '&' as the
// access-key prefix, and with tabs expanded, as a static control expands
// them; measured without, a tab would make the drawn text wider than its
// label.
constexpr UINT kMeasureText = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS;

// A push button's caption has its frame and focus rectangle on both sides.
constexpr int kButtonCaptionMargin = 8;

// A dialog template with no controls: the form is created empty.
struct alignas(DWORD) EmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu;
  WORD windowClass;
  WORD title;
};

std::wstring Wide(std::string_view text) { return win32::Utf8ToWide(text); }

bool KeyDown(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

// The label shows its access key but names no control: the dialog manager
// would otherwise take the key for it and move the focus to the first
// button. Without the static mark it passes the label by.
LRESULT CALLBACK MessageLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR /*data*/) {
  if (message == WM_GETDLGCODE) {
    return ::DefSubclassProc(window, message, wParam, lParam) & ~static_cast<LRESULT>(DLGC_STATIC);
  }
  if (message == WM_NCDESTROY) ::RemoveWindowSubclass(window, &MessageLabelProc, id);
  return ::DefSubclassProc(window, message, wParam, lParam);
}

// While a modal dialog is shown the program's other windows take no input;
// afterwards they do again and the one that was active is activated again.
// The dialog is owned by that window meanwhile, so that it stays above it.
class OtherWindowsDisabled {
 public:
  explicit OtherWindowsDisabled(const TMessageForm& form) : form_(form) {
    HWND dialog = form.Handle();
    wasActive_ = ::GetActiveWindow();
    ::EnumThreadWindows(::GetCurrentThreadId(), &OtherWindowsDisabled::Visit, reinterpret_cast<LPARAM>(this));
    if (wasActive_ != nullptr && wasActive_ != dialog && ::GetAncestor(wasActive_, GA_ROOT) == wasActive_) {
      ::SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(wasActive_));
    }
  }
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;
  ~OtherWindowsDisabled() {
    // Enabled before the dialog goes, so that the system hands the
    // activation back to one of them and not to another program.
    for (HWND window : disabled_) {
      if (::IsWindow(window)) ::EnableWindow(window, TRUE);
    }
    if (HWND dialog = form_.Handle()) {
      ::ShowWindow(dialog, SW_HIDE);
      ::SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, 0);
    }
    // A window destroyed or hidden meanwhile stays so.
    if (wasActive_ != nullptr && ::IsWindow(wasActive_) && ::IsWindowVisible(wasActive_)) {
      ::SetActiveWindow(wasActive_);
    }
  }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* scope = reinterpret_cast<OtherWindowsDisabled*>(self);
    if (window == scope->form_.Handle() || !::IsWindowVisible(window) || !::IsWindowEnabled(window)) return TRUE;
    ::EnableWindow(window, FALSE);
    scope->disabled_.push_back(window);
    return TRUE;
  }

  const TMessageForm& form_;
  HWND wasActive_ = nullptr;
  std::vector<HWND> disabled_;
};

}  // namespace

Size GdiCanvas::MeasureLine(std::string_view text) const {
  const std::wstring wide = Wide(text);
  SIZE extent{0, 0};
  if (!::GetTextExtentPoint32W(dc_, wide.data(), static_cast<int>(wide.size()), &extent)) return {};
  return {extent.cx, extent.cy};
}

win32::UniqueFont CreateMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
  return win32::UniqueFont(::CreateFontIndirectW(&metrics.lfMessageFont));
}

std::string ProgramTitle() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t nameStart = path.find_last_of(L"\\/") + 1;  // 0 when there is no separator
  std::wstring name = path.substr(nameStart);
  if (const std::size_t dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name.resize(dot);
  return win32::WideToUtf8(name);
}

std::string_view ControlName(HWND control) {
  if (control == nullptr) return {};
  const int id = ::GetDlgCtrlID(control);
  if (id == kImageControlId) return "Image";
  if (id == kMessageControlId) return "Message";
  if (id >= kFirstButtonControlId && id < kFirstButtonControlId + kLangMessageButtonCount) {
    return ButtonName(static_cast<LangMessageButton>(id - kFirstButtonControlId));
  }
  return {};
}

TMessageForm::TMessageForm(std::string applicationTitle)
    : ownedFont_(CreateMessageFont()), applicationTitle_(std::move(applicationTitle)) {
  // Without the system's metrics the form keeps the default GUI font.
  font_ = ownedFont_ ? ownedFont_.get() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));

  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);

  EmptyDialogTemplate dialog{};
  dialog.header.style = kDialogStyle;
  dialog.header.dwExtendedStyle = kDialogExStyle;
  window_.reset(::CreateDialogIndirectParamW(win32::ThisModule(), &dialog.header, nullptr, &TMessageForm::DialogProc,
                                             reinterpret_cast<LPARAM>(this)));
  if (!window_) throw std::runtime_error("The message dialog's window cannot be created.");
  ::SendMessageW(window_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

TMessageForm::~TMessageForm() {
  if (!window_) return;
  // The window goes now: it no longer reports to this object.
  ::SetWindowLongPtrW(window_.get(), DWLP_USER, 0);
  tooltip_.reset();
  window_.reset();
}

void TMessageForm::SetHelpContext(std::int32_t helpContext) {
  if (helpContext == std::numeric_limits<std::int32_t>::min()) {
    throw std::out_of_range("The help context -2147483648 is out of range.");
  }
  helpContext_ = helpContext;
}

void TMessageForm::SetLeft(std::int32_t x) { MoveTo({x, position_.y}); }

void TMessageForm::SetTop(std::int32_t y) { MoveTo({position_.x, y}); }

void TMessageForm::MoveTo(Point position) {
  position_ = position;
  if (window_) {
    ::SetWindowPos(window_.get(), nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

HWND TMessageForm::Button(LangMessageButton id) const {
  const auto index = static_cast<std::size_t>(id);
  return index < buttons_.size() ? buttons_[index] : nullptr;
}

HWND TMessageForm::DefaultButton() const { return layout_.defaultButton ? Button(*layout_.defaultButton) : nullptr; }

HWND TMessageForm::CancelButton() const { return layout_.cancelButton ? Button(*layout_.cancelButton) : nullptr; }

HWND TMessageForm::CreateChild(const wchar_t* windowClass, const std::wstring& text, DWORD style, int id,
                               const Rect& bounds) {
  HWND child = ::CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
                                 bounds.width, bounds.height, window_.get(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), win32::ThisModule(), nullptr);
  if (child == nullptr) throw std::runtime_error("A control of the message dialog cannot be created.");
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return child;
}

void TMessageForm::Build(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                         MessageLanguage language) {
  HWND window = window_.get();
  screen_ = {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  const std::wstring shown = Wide(UpToNul(text));
  {
    const win32::WindowDC dc(window);
    const win32::SelectedObject withFont(dc.get(), font_);
    unit_ = AverageCharSize(GdiCanvas(dc.get()));
    RECT bounds{0, 0, TextWrapWidth(screen_.width), 0};
    ::DrawTextW(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &bounds, kMeasureText);
    textSize_ = {bounds.right - bounds.left, bounds.bottom - bounds.top};
  }

  RECT frame{0, 0, 0, 0};
  ::AdjustWindowRectEx(&frame, kDialogStyle, FALSE, kDialogExStyle);
  frame_ = {frame.right - frame.left, frame.bottom - frame.top};

  layout_ = LayOutLangMessage(
      {.unit = unit_, .screen = screen_, .text = textSize_, .type = type, .buttons = buttons, .frame = frame_});
  position_ = layout_.origin;
  ::SetWindowPos(window, nullptr, position_.x, position_.y, layout_.client.width + frame_.width,
                 layout_.client.height + frame_.height, SWP_NOZORDER | SWP_NOACTIVATE);

  const std::string title = IsKnownType(type) && type != LangMessageType::Custom ? std::string(TypeCaption(type, language))
                                                                                  : applicationTitle_;
  ::SetWindowTextW(window, Wide(title).c_str());

  if (layout_.icon) {
    // A shared icon of the system's: nobody destroys it.
    HICON icon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(TypeIcon(type))));
    image_ = CreateChild(L"Static", L"", SS_ICON | SS_REALSIZECONTROL, kImageControlId, *layout_.icon);
    ::SendMessageW(image_, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    // Drawn at the icon's side whatever size the system's icons have.
    ::SetWindowPos(image_, nullptr, layout_.icon->left, layout_.icon->top, layout_.icon->width, layout_.icon->height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  message_ = CreateChild(L"Static", shown, SS_LEFT, kMessageControlId, layout_.message);
  ::SetWindowSubclass(message_, &MessageLabelProc, 0, 0);

  bool first = true;
  for (const ButtonPlacement& place : layout_.buttons) {
    const std::wstring caption = Wide(ButtonCaption(place.id, language));
    const DWORD style = WS_TABSTOP | (first ? WS_GROUP : 0) | (place.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    first = false;
    HWND button = CreateChild(L"Button", caption, style, ButtonControlId(place.id), place.bounds);
    buttons_[static_cast<std::size_t>(place.id)] = button;
    if (place.isDefault) ::SendMessageW(window, DM_SETDEFID, static_cast<WPARAM>(ButtonControlId(place.id)), 0);
    AddTooltipIfCut(button, caption, place.bounds.width);
  }
}

void TMessageForm::AddTooltipIfCut(HWND button, const std::wstring& caption, std::int32_t width) {
  // Every button has the common width; a caption too long for it is cut
  // short on the button and shown whole when the pointer rests on it.
  SIZE extent{0, 0};
  {
    const win32::WindowDC dc(button);
    const win32::SelectedObject withFont(dc.get(), font_);
    ::GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &extent);
  }
  if (extent.cx + kButtonCaptionMargin <= width) return;
  if (!tooltip_) {
    tooltip_.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_.get(), nullptr,
                                     win32::ThisModule(), nullptr));
    if (!tooltip_) return;  // the caption stays cut short, nothing more
  }
  std::wstring text = caption;
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_.get();
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = text.data();  // copied by the tooltip
  ::SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::wstring TMessageForm::TooltipText(HWND button) const {
  if (!tooltip_ || button == nullptr) return {};
  std::wstring text(256, L'\0');
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = window_.get();
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = text.data();
  if (!::SendMessageW(tooltip_.get(), TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return {};
  ::SendMessageW(tooltip_.get(), TTM_GETTEXTW, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(&tool));
  text.resize(std::char_traits<wchar_t>::length(text.c_str()));
  return text;
}

void TMessageForm::HelpClick() {
  // No help system stands behind the context numbers: the beep tells the
  // user that there is no help to show, and the dialog stays.
  ::MessageBeep(MB_OK);
}

void TMessageForm::Clicked(LangMessageButton id) {
  if (id == LangMessageButton::Help) HelpClick();
  const std::int32_t result = ButtonResult(id);
  if (result != 0) EndModal(result);
}

void TMessageForm::EscapePressed() {
  // Esc with Shift, Ctrl or Alt held is not a request to cancel.
  if (KeyDown(VK_SHIFT) || KeyDown(VK_CONTROL) || KeyDown(VK_MENU)) return;
  if (layout_.cancelButton && Button(*layout_.cancelButton) != nullptr) Clicked(*layout_.cancelButton);
}

void TMessageForm::EndModal(std::int32_t result) {
  if (modalResult_) return;
  modalResult_ = result;
}

void TMessageForm::Destroyed() {
  // Somebody else destroyed the window: its controls are gone with it.
  (void)window_.release();
  (void)tooltip_.release();
  image_ = nullptr;
  message_ = nullptr;
  buttons_.fill(nullptr);
  EndModal(kCancelledResult);
}

std::int32_t TMessageForm::ShowModal() {
  if (!window_) throw std::logic_error("The message dialog's window is gone.");
  if (inModalLoop_) throw std::logic_error("The message dialog is already shown.");
  modalResult_.reset();
  bool quit = false;
  WPARAM quitCode = 0;
  {
    const OtherWindowsDisabled others(*this);
    HWND dialog = window_.get();
    ::ShowWindow(dialog, SW_SHOW);
    ::SetForegroundWindow(dialog);
    ::SetActiveWindow(dialog);
    // The first button in creation order, the leftmost, takes the focus;
    // through the dialog manager, so that Enter presses the focused one.
    if (!layout_.buttons.empty()) {
      ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Button(layout_.buttons.front().id)), TRUE);
    } else {
      ::SetFocus(dialog);
    }

    inModalLoop_ = true;
    while (!modalResult_) {
      MSG message{};
      if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::WaitMessage();
        continue;
      }
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = message.wParam;
        break;
      }
      // Enter, Esc and Tab for the dialog; everything else, for any window
      // of the program, as the application's own loop would handle it.
      if (window_ && ::IsDialogMessageW(window_.get(), &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    inModalLoop_ = false;
  }
  if (quit) {
    // Asked to end: the enclosing loop has yet to hear of it.
    ::PostQuitMessage(static_cast<int>(quitCode));
    return kCancelledResult;
  }
  return *modalResult_;
}

INT_PTR CALLBACK TMessageForm::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = win32::DialogOwner<TMessageForm>(window, message, lParam);
  // At WM_INITDIALOG too: the focus is given when the dialog is shown.
  if (form == nullptr || message == WM_INITDIALOG) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDCANCEL) {
        form->EscapePressed();
      } else if (id >= kFirstButtonControlId && id < kFirstButtonControlId + kLangMessageButtonCount &&
                 HIWORD(wParam) == BN_CLICKED) {
        form->Clicked(static_cast<LangMessageButton>(id - kFirstButtonControlId));
      }
      return TRUE;
    }
    case WM_CLOSE:
      // The title bar's close box or the system menu's Close.
      form->EndModal(kCancelledResult);
      return TRUE;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, DWLP_USER, 0);
      form->Destroyed();
      return FALSE;
    default:
      return FALSE;
  }
}

std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view text, LangMessageType type,
                                                     LangMessageButtons buttons, MessageLanguage language,
                                                     std::string_view applicationTitle) {
  auto form = std::make_unique<TMessageForm>(std::string(applicationTitle));
  form->Build(text, type, buttons, language);
  return form;
}

std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view text, LangMessageType type,
                                                     LangMessageButtons buttons, MessageLanguage language) {
  return BuildLangMessageDialog(text, type, buttons, language, ProgramTitle());
}

}  // namespace pagimor

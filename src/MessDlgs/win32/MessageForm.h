#pragma once
// The message dialog's window on Win32. BuildLangMessageDialog (MessDlgs.h)
// creates and lays it out; ShowLangMessagePos shows it modally and destroys
// it. Every text reaches the system as UTF-16 through the wide calls, so the
// nine languages show whatever the system's 8-bit code page is.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "MessDlgs/LangMessageTypes.h"
#include "MessDlgs/LangTables.h"
#include "MessDlgs/Layout.h"
#include "MessDlgs/MessDlgs.h"
#include "platform/win32/handles.h"
#include "platform/win32/winapi.h"

namespace pagimor {

// Measures one line with GetTextExtentPoint32W in the font selected into dc.
class GdiCanvas final : public TextCanvas {
 public:
  explicit GdiCanvas(HDC dc) : dc_(dc) {}
  Size MeasureLine(std::string_view text) const override;

 private:
  HDC dc_;
};

// The system's message font (the non-client metrics' lfMessageFont) as a new
// font; nothing when the system does not give its metrics.
win32::UniqueFont CreateMessageFont();

// The title a dialog of type Custom shows when nobody names the
// application's: the program file's name without its extension.
std::string ProgramTitle();

// The control identifiers of the dialog's children. None of them is IDOK or
// IDCANCEL: those come from the dialog manager for Enter and Esc.
inline constexpr int kImageControlId = 10;
inline constexpr int kMessageControlId = 11;
inline constexpr int kFirstButtonControlId = 100;  // + the button's identifier
constexpr int ButtonControlId(LangMessageButton id) { return kFirstButtonControlId + static_cast<int>(id); }

// The component name of a child of a message dialog ("Image", "Message",
// "Yes", ... as in ButtonNames); empty for any other window.
std::string_view ControlName(HWND control);

// The window of the message dialog: a system dialog window created empty
// (from a template with no controls), with the children the builder puts on
// it: `Image` (when the type has an icon), `Message`, and one push button per
// identifier, named as in ButtonNames.
class TMessageForm {
 public:
  // An empty, hidden dialog with the system's message font; a dialog of type
  // Custom is titled applicationTitle. Throws std::runtime_error when the
  // system refuses the window.
  explicit TMessageForm(std::string applicationTitle);
  ~TMessageForm();
  TMessageForm(const TMessageForm&) = delete;
  TMessageForm& operator=(const TMessageForm&) = delete;

  // Null once the window is gone (destroyed by someone else).
  HWND Handle() const { return window_.get(); }
  HFONT Font() const { return font_; }
  // True when the font is the system's message font, false when it is the
  // default GUI font because the system gave no metrics.
  bool HasMessageFont() const { return ownedFont_ != nullptr; }

  // Help context numbers run from -2147483647 to 2147483647; the one value
  // below is refused with std::out_of_range.
  std::int32_t HelpContext() const { return helpContext_; }
  void SetHelpContext(std::int32_t helpContext);

  // Moves the window's outer left or top edge.
  void SetLeft(std::int32_t x);
  void SetTop(std::int32_t y);
  // The outer left and top edges the window is placed at.
  Point Position() const { return position_; }

  // Shows the window modally and returns the modal result that ended it: a
  // button's result, 2 from the title bar or system menu, 2 when the window
  // was destroyed meanwhile, or 2 when the thread was told to quit
  // (WM_QUIT), which is then posted again for the enclosing loop. Messages
  // of every window of the program are handled meanwhile; the program's
  // other windows are disabled. The window is hidden again afterwards.
  std::int32_t ShowModal();

  // The Help button's click: the dialog stays open.
  void HelpClick();

  // The controls; null when the form has none of that kind.
  HWND Image() const { return image_; }
  HWND Message() const { return message_; }
  HWND Button(LangMessageButton id) const;
  HWND DefaultButton() const;
  HWND CancelButton() const;
  // The text shown when the pointer rests on a button whose caption is cut
  // short; empty for a caption that fits.
  std::wstring TooltipText(HWND button) const;

  // What the layout was computed from, and the layout itself.
  CharSize Unit() const { return unit_; }
  Size TextSize() const { return textSize_; }
  Size Screen() const { return screen_; }
  Size Frame() const { return frame_; }
  const MessageLayout& Layout() const { return layout_; }

 private:
  friend std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view, LangMessageType,
                                                              LangMessageButtons, MessageLanguage,
                                                              std::string_view);

  void Build(std::string_view text, LangMessageType type, LangMessageButtons buttons, MessageLanguage language);
  HWND CreateChild(const wchar_t* windowClass, const std::wstring& text, DWORD style, int id, const Rect& bounds);
  void AddTooltipIfCut(HWND button, const std::wstring& caption, std::int32_t width);
  void MoveTo(Point position);
  void EndModal(std::int32_t result);
  void Clicked(LangMessageButton id);
  void EscapePressed();
  void Destroyed();

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Declared before the window, so that the window goes first.
  win32::UniqueFont ownedFont_;
  HFONT font_ = nullptr;
  win32::UniqueWindow window_;
  win32::UniqueWindow tooltip_;  // owned by the window, made when a caption is cut
  std::string applicationTitle_;
  HWND image_ = nullptr;
  HWND message_ = nullptr;
  std::array<HWND, kLangMessageButtonCount> buttons_{};
  std::int32_t helpContext_ = 0;

  Size screen_;
  Size frame_;
  CharSize unit_;
  Size textSize_;
  MessageLayout layout_;
  Point position_;

  bool inModalLoop_ = false;
  std::optional<std::int32_t> modalResult_;
};

// As BuildLangMessageDialog and ShowLangMessagePos of MessDlgs.h, with the
// application's title for a dialog of type Custom; those take ProgramTitle().
std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view text, LangMessageType type,
                                                     LangMessageButtons buttons, MessageLanguage language,
                                                     std::string_view applicationTitle);
std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                                std::int32_t helpContext, std::int32_t x, std::int32_t y, MessageLanguage language,
                                std::string_view applicationTitle);

}  // namespace pagimor

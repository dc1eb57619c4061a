// The message dialog on Win32, for now: the system's message box with the
// dialog's caption and icon from the tables and one OK button, whatever the
// set; every call in the program asks for OK alone. The laid-out dialog
// takes its place once its Win32 renderer exists.
#include "MessDlgs/LangTables.h"
#include "MessDlgs/MessDlgs.h"
#include "platform/win32/path.h"
#include "platform/win32/winapi.h"

namespace pagimor {
namespace {

UINT IconStyle(StockIcon icon) {
  switch (icon) {
    case StockIcon::Hand:
      return MB_ICONHAND;
    case StockIcon::Question:
      return MB_ICONQUESTION;
    case StockIcon::Exclamation:
      return MB_ICONEXCLAMATION;
    case StockIcon::Asterisk:
      return MB_ICONASTERISK;
    case StockIcon::NoIcon:
      break;
  }
  return 0;
}

}  // namespace

std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                             std::int32_t helpContext, MessageLanguage language) {
  return ShowLangMessagePos(text, type, buttons, helpContext, -1, -1, language);
}

std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType type, LangMessageButtons /*buttons*/,
                                std::int32_t /*helpContext*/, std::int32_t /*x*/, std::int32_t /*y*/,
                                MessageLanguage language) {
  const std::string_view shown = text.substr(0, text.find('\0'));
  ::MessageBoxW(nullptr, win32::Utf8ToWide(shown).c_str(), win32::Utf8ToWide(TypeCaption(type, language)).c_str(),
                MB_OK | MB_TASKMODAL | IconStyle(TypeIcon(type)));
  return ButtonResult(LangMessageButton::OK);
}

}  // namespace pagimor

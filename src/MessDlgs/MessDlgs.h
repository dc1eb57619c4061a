#pragma once
// The program's own modal message dialog. Each platform supplies the body of
// these functions; the portable tables (LangTables.h) and layout (Layout.h)
// live beside this header.

#include <cstdint>
#include <memory>
#include <string_view>

#include "MessDlgs/LangMessageTypes.h"

namespace pagimor {

// The dialog's window; each platform defines it (gtk/MessageForm.h on GTK).
class TMessageForm;

// Shows the dialog centred on the primary screen and returns its modal result.
std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                             std::int32_t helpContext, MessageLanguage language);

// As ShowLangMessage, with the window's left and top edges at x and y; a
// negative value keeps the centred position on that axis.
std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                                std::int32_t helpContext, std::int32_t x, std::int32_t y,
                                MessageLanguage language);

// A new dialog, fully laid out but not shown; the caller owns it. The text is
// read up to its first NUL; '&' marks the next character as an access key.
std::unique_ptr<TMessageForm> BuildLangMessageDialog(std::string_view text, LangMessageType type,
                                                     LangMessageButtons buttons, MessageLanguage language);

}  // namespace pagimor

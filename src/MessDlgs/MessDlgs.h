#pragma once
// The program's own modal message dialog. Each platform supplies the body of
// these functions; the portable tables and layout live beside this header.

#include <cstdint>
#include <string_view>

#include "MessDlgs/LangMessageTypes.h"

namespace pagimor {

// Shows the dialog centred on the primary screen and returns its modal result.
std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                             std::int32_t helpContext, MessageLanguage language);

// As ShowLangMessage, with the window's left and top edges at x and y; a
// negative value keeps the centred position on that axis.
std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                                std::int32_t helpContext, std::int32_t x, std::int32_t y,
                                MessageLanguage language);

}  // namespace pagimor

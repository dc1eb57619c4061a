// The entries the rest of the program uses: build the dialog, show it
// modally, destroy it, whatever happens in between.
#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/win32/MessageForm.h"

namespace pagimor {

std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                                std::int32_t helpContext, std::int32_t x, std::int32_t y, MessageLanguage language,
                                std::string_view applicationTitle) {
  const std::unique_ptr<TMessageForm> form = BuildLangMessageDialog(text, type, buttons, language, applicationTitle);
  form->SetHelpContext(helpContext);
  if (x >= 0) form->SetLeft(x);
  if (y >= 0) form->SetTop(y);
  return form->ShowModal();
}

std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                                std::int32_t helpContext, std::int32_t x, std::int32_t y,
                                MessageLanguage language) {
  return ShowLangMessagePos(text, type, buttons, helpContext, x, y, language, ProgramTitle());
}

std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                             std::int32_t helpContext, MessageLanguage language) {
  return ShowLangMessagePos(text, type, buttons, helpContext, -1, -1, language);
}

}  // namespace pagimor

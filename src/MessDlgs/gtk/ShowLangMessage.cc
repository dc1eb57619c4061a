// A simple modal dialog until the laid-out one is built: the type's caption
// and one OK button.
#include <gtk/gtk.h>

#include <string>

#include "MessDlgs/MessDlgs.h"

namespace pagimor {

std::int32_t ShowLangMessagePos(std::string_view text, LangMessageType /*type*/, LangMessageButtons /*buttons*/,
                                std::int32_t /*helpContext*/, std::int32_t /*x*/, std::int32_t /*y*/,
                                MessageLanguage /*language*/) {
  const std::string body(text);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                             body.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Error");
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response == GTK_RESPONSE_OK ? 1 : 2;
}

std::int32_t ShowLangMessage(std::string_view text, LangMessageType type, LangMessageButtons buttons,
                             std::int32_t helpContext, MessageLanguage language) {
  return ShowLangMessagePos(text, type, buttons, helpContext, -1, -1, language);
}

}  // namespace pagimor

#pragma once
// The message dialog's constant tables: captions in nine languages, the icon of
// each type, and the name and modal result of each button. Texts are UTF-8,
// the 8-bit encoding of the Linux desktop.

#include <array>
#include <cstdint>
#include <string_view>

#include "MessDlgs/LangMessageTypes.h"

namespace pagimor {

inline constexpr int kLangMessageTypeCount = 5;
inline constexpr int kLanguageCount = 9;
// Five type captions, then eleven button captions.
inline constexpr int kLangRowSize = kLangMessageTypeCount + kLangMessageButtonCount;

// The system's stock icons, by their system identifiers; each platform maps
// them onto its own pictures.
enum class StockIcon : std::uint16_t {
  NoIcon = 0,
  Hand = 32513,         // stop / error
  Question = 32514,     // question
  Exclamation = 32515,  // warning
  Asterisk = 32516,     // information
};

// Row 0 English, 1 Russian, 2 Portuguese, 3 Turkish, 4 German, 5 Dutch,
// 6 French, 7 Greek, 8 Spanish. Columns: Warning, Error, Information,
// Confirmation, Custom (always empty, the application title is shown
// instead), then Yes, No, OK, Cancel, Abort, Retry, Ignore, All, NoToAll,
// YesToAll, Help.
inline constexpr std::array<std::array<std::string_view, kLangRowSize>, kLanguageCount> LangTable = {{
    {"Warning", "Error", "Information", "Confirm", "",  //
     "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "No to all", "Yes to all", "Help"},
    {"Предупреждение", "Ошибка", "Информация", "Подтверждение", "",  //
     "Да", "Нет", "OK", "Отмена", "Стоп", "Повтор", "Пропустить", "Все", "Нет для всех", "Да для всех",
     "Справка"},
    {"Aviso", "Erro", "Informação", "Confirmação", "",  //
     "Sim", "Não", "OK", "Cancela", "Aborta", "Tenta Novamente", "Ignora", "Tudo", "Não para Tudo",
     "Sim para Tudo", "Ajuda"},
    {"Uyarı", "Hata", "Bilgi", "Doğrulama", "",  //
     "Evet", "Hayır", "TAMAM", "Vazgeç", "Durdur", "Tekrar", "İptal", "Hepsi", "Hepsine hayır", "Hepsine evet",
     "Yardım"},
    {"Warnung", "Fehler", "Information", "Bestätigung", "",  //
     "Ja", "Nein", "OK", "Abbrechen", "Abbrechen", "Wiederholen", "Ignorieren", "Alle", "Nein zu allen",
     "Ja zu allen", "Hilfe"},
    {"Waarschuwing", "Fout", "Informatie", "Bevestiging", "",  //
     "Ja", "Nee", "OK", "Annuleren", "Afbreken", "Herhalen", "Negeren", "Alles", "Nee op alles", "Ja op alles",
     "?"},
    {"Avertissement", "Erreur", "Information", "Confirmation", "",  //
     "Oui", "Non", "OK", "Annuler", "Abandonner", "Réessayer", "Ignorer", "Tout", "Non pour tous",
     "Oui pour tous", "Aide"},
    {"Προσοχή!", "Λάθος", "Πληροφορία", "Επιβεβαίωση", "",  //
     "Ναί", "Όχι", "Εντάξει", "Άκυρο", "Άκύρωση", "Προσπάθεια", "Αγνώηση", "Όλα", "Όχι σε όλα", "Ναί σε όλα",
     "Βοήθεια"},
    {"Precaución", "Error", "Información", "Confirmación", "",  //
     "Si", "No", "OK", "Cancelar", "Abortar", "Reintentar", "Ignorar", "Todo", "No a todo", "Si a todo",
     "Ayuda"},
}};

// Indexed by LangMessageType; Custom has no icon.
inline constexpr std::array<StockIcon, kLangMessageTypeCount> TypeIcons = {
    StockIcon::Exclamation, StockIcon::Hand, StockIcon::Asterisk, StockIcon::Question, StockIcon::NoIcon};

// Indexed by LangMessageButton: the component name of each button.
inline constexpr std::array<std::string_view, kLangMessageButtonCount> ButtonNames = {
    "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll", "Help"};

// Indexed by LangMessageButton: the modal result each button ends the dialog
// with; 0 (Help) does not end it.
inline constexpr std::array<std::int32_t, kLangMessageButtonCount> ButtonResults = {6, 7, 1, 2, 3, 4, 5, 8, 9, 10, 0};

// The modal result of a dialog closed from its title bar or ended because the
// application was asked to end.
inline constexpr std::int32_t kCancelledResult = 2;

// Row of LangTable for a language index: 1 to 8 their own, anything else 0.
constexpr int LanguageRow(MessageLanguage language) {
  return language >= 1 && language < kLanguageCount ? language : 0;
}

// True for the five defined types; anything else is shown like Custom.
constexpr bool IsKnownType(LangMessageType type) {
  return static_cast<int>(type) < kLangMessageTypeCount;
}

constexpr StockIcon TypeIcon(LangMessageType type) {
  return IsKnownType(type) ? TypeIcons[static_cast<std::size_t>(type)] : StockIcon::NoIcon;
}

// The window caption of a type in a language; empty for Custom, whose window
// shows the application's title.
constexpr std::string_view TypeCaption(LangMessageType type, MessageLanguage language) {
  return IsKnownType(type)
             ? LangTable[static_cast<std::size_t>(LanguageRow(language))][static_cast<std::size_t>(type)]
             : std::string_view{};
}

constexpr std::string_view ButtonCaption(LangMessageButton button, MessageLanguage language) {
  return LangTable[static_cast<std::size_t>(LanguageRow(language))]
                  [static_cast<std::size_t>(kLangMessageTypeCount + static_cast<int>(button))];
}

constexpr std::string_view ButtonName(LangMessageButton button) {
  return ButtonNames[static_cast<std::size_t>(button)];
}

constexpr std::int32_t ButtonResult(LangMessageButton button) {
  return ButtonResults[static_cast<std::size_t>(button)];
}

}  // namespace pagimor

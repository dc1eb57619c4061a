#pragma once
// The dialogs both renderers are read back on: one table, so a text that one
// toolkit shows wrongly is tried on the other too.
#include <array>
#include <initializer_list>
#include <ostream>
#include <string>

#include "MessDlgs/LangTables.h"
#include "MessDlgs/Layout.h"
#include "MessDlgs/MessDlgs.h"

namespace pagimor::testing {

using B = LangMessageButton;

constexpr LangMessageButtons Set(std::initializer_list<B> ids) {
  LangMessageButtons set = 0;
  for (B id : ids) set = static_cast<LangMessageButtons>(set | ButtonBit(id));
  return set;
}

constexpr LangMessageButtons kAllButtons = 0x07FF;

// A rectangle as the tests read it back from a window.
struct Box {
  int left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Box&, const Box&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& b) {
  return out << "(" << b.left << ", " << b.top << ") " << b.width << " x " << b.height;
}

inline Box ToBox(const Rect& r) { return {r.left, r.top, r.width, r.height}; }

inline std::string LongText() {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "The book could not be opened from this folder. ";
  return text;
}

struct LayoutCase {
  const char* name;
  std::string text;
  LangMessageType type;
  LangMessageButtons buttons;
  MessageLanguage language;
  std::string title;
  // What the reader sees: up to the NUL, invalid UTF-8 replaced, access-key
  // marks resolved.
  std::string shownText;
  int lines;  // lines of the shown text; 0 when not checked
  friend void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }
};

inline const LayoutCase kLayoutCases[] = {
    {"ErrorWithOk", "The book is damaged.", LangMessageType::Error, Set({B::OK}), 0, "Error", "The book is damaged.",
     1},
    {"CustomHasTheApplicationTitle", "Custom text", LangMessageType::Custom, Set({B::Yes, B::No}), 0, "EBook",
     "Custom text", 1},
    {"EmptySet", "Nothing to press", LangMessageType::Warning, 0, 0, "Warning", "Nothing to press", 1},
    {"RussianYesNo", "Текст", LangMessageType::Confirmation, Set({B::Yes, B::No}), 1, "Подтверждение", "Текст", 1},
    {"GreekOk", "Κείμενο", LangMessageType::Information, Set({B::OK, B::Cancel}), 7, "Πληροφορία", "Κείμενο", 1},
    {"TurkishIgnore", "Metin", LangMessageType::Warning, Set({B::Ignore, B::Help}), 3, "Uyarı", "Metin", 1},
    {"AbortRetryIgnore", "Disk", LangMessageType::Error, Set({B::Abort, B::Retry, B::Ignore}), 0, "Error", "Disk", 1},
    {"GermanOkCancelYes", "Text", LangMessageType::Information, Set({B::OK, B::Cancel, B::Yes}), 4, "Information",
     "Text", 1},
    {"PortugueseAllButtons", "Texto", LangMessageType::Confirmation, kAllButtons, 2, "Confirmação", "Texto", 1},
    {"LanguageOutOfRangeIsEnglish", "Text", LangMessageType::Warning, Set({B::OK, B::Help}), 200, "Warning", "Text",
     1},
    {"LineBreaksAndAmpersands", "First &line\nSecond && line\r\nThird", LangMessageType::Information, Set({B::OK}),
     0, "Information", "First line\nSecond & line\r\nThird", 3},
    // Toolkits differ on whether a closing line break draws an empty line;
    // the measured size must match the drawn one either way.
    {"TrailingLineBreak", "Last line\n", LangMessageType::Information, Set({B::OK}), 0, "Information",
     "Last line\n", 0},
    {"EndsAtNul", std::string("Shown\0hidden", 12), LangMessageType::Information, Set({B::OK}), 0, "Information",
     "Shown", 1},
    {"InvalidUtf8IsShownReplaced", "Bad \xFF byte", LangMessageType::Error, Set({B::OK}), 0, "Error",
     "Bad \xEF\xBF\xBD byte", 1},
    {"LongTextWraps", LongText(), LangMessageType::Warning, Set({B::OK}), 0, "Warning", LongText(), 0},
    {"LongWordWidens", std::string(150, 'W'), LangMessageType::Error, Set({B::OK}), 0, "Error",
     std::string(150, 'W'), 1},
    {"EmptyText", "", LangMessageType::Error, Set({B::OK}), 0, "Error", "", 0},
};

// The pictures of docs/: the same question in each language of the table, in
// table order.
struct Sample {
  const char* file;  // the language's part of the picture's name
  const char* text;
};

inline constexpr std::array<Sample, kLanguageCount> kScreenshotSamples = {{
    {"english", "Do you want to save the changes?"},
    {"russian", "Сохранить изменения?"},
    {"portuguese", "Deseja salvar as alterações?"},
    {"turkish", "Değişiklikleri kaydetmek istiyor musunuz?"},
    {"german", "Möchten Sie die Änderungen speichern?"},
    {"dutch", "Wilt u de wijzigingen opslaan?"},
    {"french", "Voulez-vous enregistrer les modifications ?"},
    {"greek", "Θέλετε να αποθηκεύσετε τις αλλαγές;"},
    {"spanish", "¿Desea guardar los cambios?"},
}};

}  // namespace pagimor::testing

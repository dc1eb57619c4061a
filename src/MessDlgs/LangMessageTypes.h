#pragma once
// The vocabulary of the program's own message dialog, shared by every caller.
// No GUI headers here: the archive reader and the packer include this too.

#include <cstdint>

namespace pagimor {

// Selects the icon and the window caption.
enum class LangMessageType : std::uint8_t {
  Warning = 0,
  Error = 1,
  Information = 2,
  Confirmation = 3,
  Custom = 4,
};

// Button identifiers; buttons always appear in this order from left to right.
enum class LangMessageButton : std::uint8_t {
  Yes = 0,
  No = 1,
  OK = 2,
  Cancel = 3,
  Abort = 4,
  Retry = 5,
  Ignore = 6,
  All = 7,
  NoToAll = 8,
  YesToAll = 9,
  Help = 10,
};

inline constexpr int kLangMessageButtonCount = 11;

// A set of buttons: bit n stands for identifier n; bits 11 to 15 are ignored.
using LangMessageButtons = std::uint16_t;

constexpr LangMessageButtons ButtonBit(LangMessageButton b) {
  return static_cast<LangMessageButtons>(1u << static_cast<unsigned>(b));
}

constexpr bool HasButton(LangMessageButtons set, LangMessageButton b) {
  return (set & ButtonBit(b)) != 0;
}

// Row of the language table; 1 to 8 select their own row, anything else English.
using MessageLanguage = std::uint8_t;

}  // namespace pagimor

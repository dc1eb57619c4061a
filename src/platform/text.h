#pragma once
// Conversions between the program's UTF-16 paths and names and UTF-8, the
// 8-bit encoding of the Linux desktop.

#include <optional>
#include <string>
#include <string_view>

namespace pagimor {

// True when every surrogate half stands in a proper pair.
bool IsValidUtf16(std::u16string_view text);

// UTF-8 of a UTF-16 text; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-16 of a UTF-8 text; nothing when the text is not valid UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
std::optional<std::u16string> FromUtf8(std::string_view text);

// For texts known to be plain ASCII or valid UTF-8; invalid bytes become U+FFFD.
std::u16string Widen(std::string_view text);

}  // namespace pagimor

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

// A path in its 8-bit form (on Linux the bytes the system takes, which
// need not be UTF-8) as the program's UTF-16 path, without loss: valid
// UTF-8 reads as its characters, and every byte that is not part of valid
// UTF-8 becomes the lone surrogate U+DC80 to U+DCFF, which no valid UTF-8
// gives. Only for paths; names inside books stay valid UTF-16.
std::u16string PathFromBytes(std::string_view bytes);

// The way back: the bytes PathFromBytes read. Characters, surrogate pairs
// included, become UTF-8; U+DC80 to U+DCFF standing alone become their byte
// again; any other lone surrogate, which no path read gives, becomes U+FFFD.
std::string PathToBytes(std::u16string_view path);

}  // namespace pagimor

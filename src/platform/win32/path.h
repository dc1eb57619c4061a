#pragma once
// Text at the edge of the Windows API: its wide characters are the program's
// UTF-16 units, and its paths lose the 260-character limit.

#include <cstdint>
#include <string>
#include <string_view>

namespace pagimor::win32 {

std::wstring ToWide(std::u16string_view text);
std::u16string FromWide(std::wstring_view text);

// For the user-interface texts, which are UTF-8; invalid bytes become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
// A lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// The system's words for an error code (a GetLastError() code or an
// HRESULT) in UTF-8, cut as fs::ErrorText cuts them; empty when the system
// has none. The wide call, so that text in any language comes through: the
// ANSI one gives the code page's bytes, which UTF-8 would garble. Language 0
// is the user's.
std::string SystemErrorText(std::uint32_t code, std::uint16_t language = 0);

// The path as the wide file calls take it: made absolute (which also turns
// '/' into '\' and resolves "." and ".."), then given the "\\?\" prefix that
// lifts the limit of 260 characters. A device path, or one the system cannot
// make absolute, is given back as it is.
std::wstring NativePath(std::u16string_view path);

}  // namespace pagimor::win32

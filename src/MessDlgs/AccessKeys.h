#pragma once
// The message text as the dialog shows it: read up to its first NUL, with
// '&' marking the next character as an access key. The '&' itself is not
// shown and the marked character is underlined; "&&" shows one '&'.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagimor {

// A run of bytes of the shown text, [begin, end).
struct ByteRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

struct ShownText {
  std::string text;                   // what appears on the screen
  std::vector<ByteRange> underlined;  // the access-key characters, one UTF-8 character each
};

// The text up to, not including, its first NUL character.
std::string_view UpToNul(std::string_view text);

// Splits a UTF-8 caption into its shown text and the characters to underline.
// A lone '&' at the very end shows nothing.
ShownText ResolveAccessKeys(std::string_view caption);

}  // namespace pagimor

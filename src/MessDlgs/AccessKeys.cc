#include "MessDlgs/AccessKeys.h"

namespace pagimor {
namespace {

// Length of the UTF-8 character starting at text[i], never past the end; a
// stray byte counts as one character.
std::size_t CharLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  std::size_t n = 1;
  while (n < length && i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

std::string_view UpToNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

ShownText ResolveAccessKeys(std::string_view caption) {
  ShownText out;
  out.text.reserve(caption.size());
  std::size_t i = 0;
  while (i < caption.size()) {
    if (caption[i] != '&') {
      out.text.push_back(caption[i++]);
      continue;
    }
    ++i;  // the prefix itself is never shown
    if (i == caption.size()) break;
    if (caption[i] == '&') {
      out.text.push_back('&');
      ++i;
      continue;
    }
    const std::size_t length = CharLength(caption, i);
    const std::size_t begin = out.text.size();
    out.text.append(caption.substr(i, length));
    out.underlined.push_back({begin, out.text.size()});
    i += length;
  }
  return out;
}

}  // namespace pagimor

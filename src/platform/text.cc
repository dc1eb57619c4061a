#include "platform/text.h"

#include <cstdint>

namespace pagimor {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
// A byte that is not part of valid UTF-8 in a path stands as this plus its value.
constexpr char16_t kByteSurrogates = 0xDC00;

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
  auto put = [&out](std::uint32_t b) { out.push_back(static_cast<char>(b)); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6));
    put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18));
    put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F));
    put(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Nothing for a malformed one.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  int extra = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1Fu, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0Fu, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07u, min = 0x10000;
  } else {
    ++i;
    return std::nullopt;
  }
  std::size_t j = i + 1;
  for (int k = 0; k < extra; ++k, ++j) {
    if (j >= text.size()) {
      i = j;
      return std::nullopt;
    }
    const auto b = static_cast<unsigned char>(text[j]);
    if ((b & 0xC0) != 0x80) {
      i = j;
      return std::nullopt;
    }
    c = (c << 6) | (b & 0x3Fu);
  }
  i = j;
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  return c;
}

// The UTF-8 of text, a surrogate pair as its character and any other lone
// surrogate as U+FFFD; with byteSurrogates, U+DC80 to U+DCFF standing alone
// become the byte each stands for instead.
std::string EncodeUtf8(std::u16string_view text, bool byteSurrogates) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    char32_t c = u;
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (byteSurrogates && u >= kByteSurrogates + 0x80 && u <= kByteSurrogates + 0xFF) {
      out.push_back(static_cast<char>(u - kByteSurrogates));
      continue;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

bool IsValidUtf16(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i])) {
      if (i + 1 >= text.size() || !IsLowSurrogate(text[i + 1])) return false;
      ++i;
    } else if (IsLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

std::string ToUtf8(std::u16string_view text) { return EncodeUtf8(text, false); }

std::optional<std::u16string> FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = NextUtf8(text, i);
    if (!c) return std::nullopt;
    AppendUtf16(out, *c);
  }
  return out;
}

std::u16string Widen(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    AppendUtf16(out, NextUtf8(text, i).value_or(kReplacement));
  }
  return out;
}

std::u16string PathFromBytes(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t next = i;
    if (const auto c = NextUtf8(bytes, next)) {
      AppendUtf16(out, *c);
      i = next;
    } else {
      // One byte at a time: the bytes after it may begin a valid sequence.
      out.push_back(static_cast<char16_t>(kByteSurrogates + static_cast<unsigned char>(bytes[i])));
      ++i;
    }
  }
  return out;
}

std::string PathToBytes(std::u16string_view path) { return EncodeUtf8(path, true); }

}  // namespace pagimor

#include "vxwebtest/format.h"

#include "platform/text.h"

namespace pagimor {
namespace {

// The marker shift is kept as text and read through a volatile so that no
// compiler can fold a key and the shift into a plain marker in our own file.
const volatile char kMarkerShift[] = "2";

// Each key is its marker with every byte increased by the shift.
constexpr std::string_view kHeaderMarkerKey = ">>%%SWQOCT302%%@@";
constexpr std::string_view kEntryTerminatorKey = ">>%%SWQOCT//@@@";
constexpr std::string_view kEndOfArchiveMarkerKey = ">>%%SWQOCTGQH%%@@";

int MarkerShift() {
  int shift = 0;
  for (const volatile char* p = kMarkerShift; *p != '\0'; ++p) shift = shift * 10 + (*p - '0');
  return shift;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t c = a[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != static_cast<char16_t>(b[i])) return false;
  }
  return true;
}

std::int64_t Digits(int count) {
  std::int64_t digits = 1;
  for (int v = count; v >= 10; v /= 10) ++digits;
  return digits;
}

}  // namespace

Bytes HeaderMarkerKey() { return Bytes(kHeaderMarkerKey); }
Bytes EntryTerminatorKey() { return Bytes(kEntryTerminatorKey); }
Bytes EndOfArchiveMarkerKey() { return Bytes(kEndOfArchiveMarkerKey); }

Bytes UnshiftMarker(std::string_view key) {
  const int shift = MarkerShift();
  Bytes marker(key);
  for (char& c : marker) c = static_cast<char>((static_cast<unsigned char>(c) - shift) & 0xFF);
  return marker;
}

std::string EncodeHexName(std::u16string_view name) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(name.size() * 4);
  for (const char16_t unit : name) {
    for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(kDigits[(unit >> shift) & 0xF]);
  }
  return hex;
}

std::optional<std::u16string> DecodeHexUnits(std::string_view hex) {
  std::u16string name;
  name.reserve(hex.size() / 4);
  for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
    unsigned unit = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int digit = HexDigit(hex[i + k]);
      if (digit < 0) return std::nullopt;
      unit = unit * 16 + static_cast<unsigned>(digit);
    }
    name.push_back(static_cast<char16_t>(unit));
  }
  return name;
}

bool IsReservedDeviceName(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (EqualsIgnoringAsciiCase(stem, device)) return true;
  }
  if (stem.size() == 4) {
    const char16_t last = stem[3];
    const bool digit = (last >= u'1' && last <= u'9') || last == u'\u00B9' || last == u'\u00B2' || last == u'\u00B3';
    if (digit && (EqualsIgnoringAsciiCase(stem.substr(0, 3), "COM") || EqualsIgnoringAsciiCase(stem.substr(0, 3), "LPT"))) {
      return true;
    }
  }
  return false;
}

const char* FileNameProblem(std::u16string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > kMaxNameUnits) return "the name is longer than 255 UTF-16 units";
  if (name == u"." || name == u"..") return "the name is a folder reference";
  for (const char16_t c : name) {
    if (c < 0x20 || c == 0x7F) return "the name holds a control character";
    if (c == u'/' || c == u'\\') return "the name holds a path separator";
    if (std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) {
      return "the name holds a character that Windows forbids in file names (< > : \" | ? *)";
    }
  }
  if (name.back() == u' ' || name.back() == u'.') return "the name ends with a space or a dot";
  if (IsReservedDeviceName(name)) return "the name is a reserved device name on Windows";
  if (!IsValidUtf16(name)) return "the name holds a lone UTF-16 surrogate";
  // Linux counts a name's length in bytes, and most letters outside ASCII
  // take two or three.
  if (ToUtf8(name).size() > kMaxNameBytes) return "the name is longer than 255 bytes in UTF-8, more than Linux allows";
  return nullptr;
}

bool IsPlainFileName(std::u16string_view name) { return FileNameProblem(name) == nullptr; }

std::vector<std::u16string_view> PathComponents(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t slash = path.find(kPathSeparator, start);
    parts.push_back(path.substr(start, slash == std::u16string_view::npos ? std::u16string_view::npos : slash - start));
    if (slash == std::u16string_view::npos) return parts;
    start = slash + 1;
  }
}

std::string EntryNameProblem(std::u16string_view name) {
  if (name.find(kPathSeparator) == std::u16string_view::npos) {
    const char* problem = FileNameProblem(name);
    return problem == nullptr ? std::string() : std::string(problem);
  }
  if (name.size() > kMaxNameUnits) return "the name is longer than 255 UTF-16 units";
  if (name.front() == kPathSeparator) return "the path begins with /";
  if (name.back() == kPathSeparator) return "the path ends with /";
  if (name.find(u"//") != std::u16string_view::npos) return "the path holds an empty folder name (//)";
  for (const std::u16string_view part : PathComponents(name)) {
    if (const char* problem = FileNameProblem(part)) {
      // The component is shown only when it can be shown as it is.
      const std::string shown = IsValidUtf16(part) ? " \"" + ToUtf8(part) + "\"" : std::string();
      return "the path's component" + shown + ": " + problem;
    }
  }
  return {};
}

bool ParseFileCount(std::string_view s, int& count) {
  if (s.empty() || s.size() > 3) return false;
  int value = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kMaxFileCount) return false;
  count = value;
  return true;
}

std::int64_t HeaderLength(int count) { return kHeaderMarkerLength + Digits(count); }

Bytes HeaderBytes(int count) { return UnshiftMarker(HeaderMarkerKey()) + std::to_string(count); }

Bytes EntryHeadBytes(std::u16string_view name) {
  Bytes head(kEntryMarker);
  head += EncodeHexName(name);
  head += kNameCloser;
  return head;
}

std::int64_t EntryLength(std::size_t nameUnits, std::int64_t dataSize, bool last) {
  return DataStartOf(0, 4 * static_cast<std::int64_t>(nameUnits)) + dataSize +
         (last ? kEndOfArchiveMarkerLength : kEntryTerminatorLength);
}

std::int64_t DataStartOf(std::int64_t entryOffset, std::int64_t hexLength) {
  return entryOffset + kEntryMarkerLength + hexLength + kNameCloserLength;
}

std::int64_t NextEntryAfter(std::int64_t dataEnd) { return dataEnd + kEntryTerminatorLength; }

Bytes SealBytes(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  Bytes seal(kSealPrefix);
  for (const std::uint8_t byte : digest) {
    seal.push_back(kDigits[byte >> 4]);
    seal.push_back(kDigits[byte & 0xF]);
  }
  seal.push_back('\n');
  return seal;
}

SealForm ParseSeal(std::string_view after, Sha256Digest& digest) {
  if (!after.starts_with(kSealPrefix)) return SealForm::None;
  if (after.size() < kSealLength || after[kSealLength - 1] != '\n') return SealForm::Damaged;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const char high = after[kSealPrefix.size() + 2 * i];
    const char low = after[kSealPrefix.size() + 2 * i + 1];
    const auto lowerHex = [](char c) { return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1; };
    if (lowerHex(high) < 0 || lowerHex(low) < 0) return SealForm::Damaged;
    digest[i] = static_cast<std::uint8_t>(lowerHex(high) * 16 + lowerHex(low));
  }
  return SealForm::Whole;
}

}  // namespace pagimor

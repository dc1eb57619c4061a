#include "vxwebtest/archive.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/text.h"
#include "vxwebtest/search.h"

namespace pagimor {

std::u16string ExePath;
bool AbortExtraction = false;

namespace {

// The marker shift is kept as text and read through a volatile so that no
// compiler can fold a key and the shift into a plain marker in our own file.
const volatile char kMarkerShift[] = "2";

// Each key is its marker with every byte increased by the shift.
constexpr std::string_view kHeaderMarkerKey = ">>%%SWQOCT302%%@@";
constexpr std::string_view kEntryTerminatorKey = ">>%%SWQOCT//@@@";
constexpr std::string_view kEndOfArchiveMarkerKey = ">>%%SWQOCTGQH%%@@";

constexpr std::size_t kBlockSize = 1024;
// A kernel-side copy processes messages after every piece of this size.
constexpr std::int64_t kCopyPiece = 256 * 1024;

int MarkerShift() {
  int shift = 0;
  for (const volatile char* p = kMarkerShift; *p != '\0'; ++p) shift = shift * 10 + (*p - '0');
  return shift;
}

// Offsets past the signed 32-bit range cannot be told apart from garbage:
// they saturate, which puts them beyond any file the reader accepts.
std::int32_t Saturate(std::int64_t value) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  if (value > kMax) return kMax;
  if (value < -1) return -1;
  return static_cast<std::int32_t>(value);
}

std::int32_t ToOffset(const detail::ScanResult& result) {
  if (result.status != detail::ScanStatus::Found) return kNotFound;
  if (result.offset > std::numeric_limits<std::int32_t>::max()) return kNotFound;
  return static_cast<std::int32_t>(result.offset);
}

std::u16string RefuseName(ArchiveHost& host) {
  host.ShowLangMessage(kBadNameMessage, LangMessageType::Error, ButtonBit(LangMessageButton::OK), 0, 0);
  AbortExtraction = true;
  return std::u16string(kRefusedName);
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

}  // namespace

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

namespace {

// "Error by 13", and on a line of its own the system's reason when it gave
// one: a full disk must say so.
std::string WriteFailure(const fs::OutputFile& target) {
  std::string text = "Error by 13";
  if (target.error() != 0) text += "\r\n" + fs::ErrorText(target.error());
  return text;
}

// The destination could not be made: its number, and on a line of its own
// the system's reason, which a disk out of room for new files must give.
std::string CreateFailure(const fs::OutputFile& target) {
  std::string text = "Error writing to disk. Error number: " + std::to_string(target.error());
  if (target.error() != 0) text += "\r\n" + fs::ErrorText(target.error());
  return text;
}

// Copies length bytes of source from offset into target; true when all of
// them were written. The kernel copies while it can; the block loop takes
// over where it cannot, and tells a failed read from a failed write. A
// failure ends the copy after its one message rather than once for every
// remaining block; a source that ends before the range counts as a failed
// read, since the destination would lack bytes.
bool CopyBytes(const fs::InputFile& source, std::int64_t offset, std::int64_t length, fs::OutputFile& target,
               ArchiveHost& host) {
  std::int64_t copied = 0;
  while (copied < length) {
    const std::int64_t n = target.CopyFrom(source, offset, std::min(length - copied, kCopyPiece));
    host.ProcessMessages();
    if (n <= 0) break;
    copied += n;
    offset += n;
  }
  std::array<std::uint8_t, kBlockSize> buffer{};
  while (copied < length) {
    const std::int64_t got = source.ReadAt(offset, buffer);
    host.ProcessMessages();
    if (got <= 0) {
      host.ShowPlainMessage("Error by 12");
      return false;
    }
    const std::int64_t pass = std::min(got, length - copied);
    if (!target.Write(std::span(buffer).first(static_cast<std::size_t>(pass)))) {
      host.ShowPlainMessage(WriteFailure(target));
      return false;
    }
    copied += pass;
    offset += pass;
  }
  return true;
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

std::int32_t FindMarker(std::string_view marker, ArchiveHost& host) {
  const fs::InputFile file(ExePath);
  if (!file.is_open()) {
    host.ShowPlainMessage("Error by 3");
    // The first block read cannot take place either.
    host.ProcessMessages();
    host.ShowPlainMessage("Error by 1");
    return kNotFound;
  }
  const detail::ScanResult result = detail::ScanFile(file, 0, marker, host);
  if (result.status == detail::ScanStatus::ReadFailed) host.ShowPlainMessage("Error by 1");
  return ToOffset(result);
}

std::int32_t FindMarkerFrom(std::string_view marker, std::int32_t start, ArchiveHost& host) {
  const fs::InputFile file(ExePath);
  if (!file.is_open()) {
    host.ShowPlainMessage("Error by 5");
    return kNotFound;
  }
  const detail::ScanResult result = detail::ScanFile(file, start < 0 ? 0 : start, marker, host);
  if (result.status == detail::ScanStatus::ReadFailed) host.ShowPlainMessage("Error by 4");
  return ToOffset(result);
}

Bytes ReadFileCount(std::int32_t headerOffset, std::int32_t& nextEntry, ArchiveHost& host) {
  const fs::InputFile file(ExePath);
  if (!file.is_open()) host.ShowPlainMessage("Error by 6");
  std::array<std::uint8_t, 3> buffer{};
  const std::int64_t got = file.ReadAt(std::int64_t{headerOffset} + kHeaderMarkerLength, buffer);
  host.ProcessMessages();
  if (got < 0) host.ShowPlainMessage("Error by 7");
  Bytes count;
  for (std::int64_t i = 0; i < got; ++i) {
    const auto b = buffer[static_cast<std::size_t>(i)];
    if (b != '<') count.push_back(static_cast<char>(b));
  }
  nextEntry = Saturate(std::int64_t{headerOffset} + kHeaderMarkerLength + static_cast<std::int64_t>(count.size()));
  return count;
}

std::u16string ReadEntryName(std::int32_t entryOffset, std::int32_t& dataStart, ArchiveHost& host) {
  Bytes hex;
  {
    const fs::InputFile file(ExePath);
    if (!file.is_open()) host.ShowPlainMessage("Error by 8");
    std::array<std::uint8_t, kBlockSize> buffer{};
    const std::int64_t got = file.ReadAt(std::int64_t{entryOffset} + kEntryMarkerLength, buffer);
    host.ProcessMessages();
    if (got < 0) host.ShowPlainMessage("Error by 9");
    for (std::int64_t i = 0; i < got && buffer[static_cast<std::size_t>(i)] != ')'; ++i) {
      hex.push_back(static_cast<char>(buffer[static_cast<std::size_t>(i)]));
    }
  }
  dataStart = Saturate(std::int64_t{entryOffset} + kEntryMarkerLength + static_cast<std::int64_t>(hex.size()) +
                       kNameCloserLength);
  const bool alreadyAborted = AbortExtraction;
  AbortExtraction = false;
  std::u16string name = DecodeHexName(hex, host);
  const bool refused = AbortExtraction;
  AbortExtraction = alreadyAborted || refused;
  if (refused) return name;
  // The name becomes a file inside the book folder: anything but a plain
  // file name could reach outside it or mean a device.
  if (!IsPlainFileName(name)) return RefuseName(host);
  return name;
}

std::u16string DecodeHexName(std::string_view hex, ArchiveHost& host) {
  std::u16string name;
  name.reserve(hex.size() / 4);
  for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
    unsigned unit = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int digit = HexDigit(hex[i + k]);
      if (digit < 0) return RefuseName(host);
      unit = unit * 16 + static_cast<unsigned>(digit);
    }
    name.push_back(static_cast<char16_t>(unit));
  }
  return name;
}

bool CopyRange(std::int32_t start, std::int32_t end, std::u16string_view destination, std::int32_t& nextEntry,
               ArchiveHost& host) {
  const fs::InputFile source(ExePath);
  if (!source.is_open()) host.ShowPlainMessage("Error by 10");
  fs::OutputFile target;
  if (!target.Create(destination)) {
    host.ShowPlainMessage(CreateFailure(target));
    return false;
  }
  const bool positioned = source.is_open() && start >= 0;
  if (!positioned) host.ShowPlainMessage("Error by 11");

  bool complete = false;
  if (!positioned) {
    // Not one block can be read; one message says so, not one per block.
    host.ProcessMessages();
    host.ShowPlainMessage("Error by 12");
  } else {
    complete = CopyBytes(source, start, std::int64_t{end} - start, target, host);
  }
  // The last writes may fail only now; a copy that has failed already has
  // said so.
  if (!target.Close() && complete) {
    host.ShowPlainMessage(WriteFailure(target));
    complete = false;
  }
  nextEntry = Saturate(std::int64_t{end} + kEntryTerminatorLength);
  return complete;
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

}  // namespace pagimor

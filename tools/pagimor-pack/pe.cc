#include "pe.h"

#include <array>
#include <span>

namespace pagimor::pack {
namespace {

constexpr std::int64_t kNewHeaderPointer = 0x3C;  // e_lfanew in the MZ header
constexpr std::int64_t kOptionalHeaderSizeAt = 20;  // in the file header, after "PE\0\0"
constexpr std::int64_t kOptionalHeaderAt = 24;
constexpr std::uint32_t kPe32 = 0x10B;
constexpr std::uint32_t kPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityIndex = 4;
constexpr std::uint32_t kCertificateAlignment = 8;
constexpr std::uint32_t kCertificateHeader = 8;  // dwLength, wRevision, wCertificateType

// A little-endian number of `bytes` bytes at offset, or nothing past the end.
std::optional<std::uint32_t> ReadNumber(const fs::InputFile& file, std::int64_t offset, std::size_t bytes) {
  std::array<std::uint8_t, 4> buffer{};
  const auto piece = std::span(buffer).first(bytes);
  if (offset < 0 || file.ReadAt(offset, piece) != static_cast<std::int64_t>(bytes)) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = bytes; i-- > 0;) value = value << 8 | piece[i];
  return value;
}

}  // namespace

bool IsWindowsProgram(const fs::InputFile& file) {
  std::array<std::uint8_t, 2> head{};
  return file.ReadAt(0, head) == 2 && head[0] == 'M' && head[1] == 'Z';
}

std::optional<SecurityDirectory> ReadSecurityDirectory(const fs::InputFile& file) {
  if (!IsWindowsProgram(file)) return std::nullopt;
  const auto pe = ReadNumber(file, kNewHeaderPointer, 4);
  if (!pe || ReadNumber(file, *pe, 4) != 0x00004550u) return std::nullopt;  // "PE\0\0"
  const auto optionalSize = ReadNumber(file, *pe + kOptionalHeaderSizeAt, 2);
  const std::int64_t optional = std::int64_t{*pe} + kOptionalHeaderAt;
  const auto magic = ReadNumber(file, optional, 2);
  if (!optionalSize || !magic || (*magic != kPe32 && *magic != kPe32Plus)) return std::nullopt;
  // The two layouts differ in the width of their addresses only.
  const std::int64_t countAt = *magic == kPe32 ? 92 : 108;
  const std::int64_t entryAt = countAt + 4 + 8 * kSecurityIndex;
  const auto count = ReadNumber(file, optional + countAt, 4);
  if (!count || *count <= kSecurityIndex || entryAt + 8 > *optionalSize) return std::nullopt;
  const auto address = ReadNumber(file, optional + entryAt, 4);
  const auto size = ReadNumber(file, optional + entryAt + 4, 4);
  if (!address || !size) return std::nullopt;
  constexpr std::int64_t kChecksumAt = 64;  // the same in both layouts
  return SecurityDirectory{optional + kChecksumAt, optional + entryAt, *address, *size};
}

bool IsCertificateTable(const fs::InputFile& file, std::int64_t offset) {
  const std::int64_t end = file.Size();
  if (offset <= 0 || offset >= end) return false;
  for (std::int64_t at = offset; at < end;) {
    const auto length = ReadNumber(file, at, 4);
    const auto revision = ReadNumber(file, at + 4, 2);
    const auto type = ReadNumber(file, at + 6, 2);
    if (!length || !revision || !type) return false;
    // Revisions 1.0 and 2.0; an X.509 certificate, PKCS #7 signed data, or
    // the two types set aside.
    if (*length <= kCertificateHeader || at + *length > end) return false;
    if ((*revision != 0x0100 && *revision != 0x0200) || *type < 1 || *type > 4) return false;
    const std::int64_t padded =
        (std::int64_t{*length} + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
    if (at + padded >= end) return true;  // the last entry, whose padding may be left out
    at += padded;
  }
  return false;
}

}  // namespace pagimor::pack

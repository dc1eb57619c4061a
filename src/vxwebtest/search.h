#pragma once
// The one byte-string search of the project: the archive reader's marker
// searches and the packer's checks of the files it packs both run on it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/file.h"

namespace pagimor {

class ArchiveHost;

namespace detail {

inline constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

// Position of the first occurrence of needle in hay, or kNoMatch.
std::size_t FindBytes(std::span<const std::uint8_t> hay, std::string_view needle);

// One step of a scan reads this many bytes, after which window messages are
// processed. Reading 1 KiB per system call would take several times longer
// than the copy of the same bytes; this block keeps a scan near the speed
// of the copy while its memory stays fixed.
inline constexpr std::size_t kScanBlock = 64 * 1024;
// The longest byte string a scan looks for.
inline constexpr std::size_t kMaxNeedle = 64;

enum class ScanStatus { Found, NotFound, ReadFailed };

struct ScanResult {
  ScanStatus status = ScanStatus::NotFound;
  std::int64_t offset = -1;  // of the first marker byte, when found
};

// Finds the first occurrence of needle that begins at or after from, reading
// the file block by block and processing the host's messages after each.
ScanResult ScanFile(const fs::InputFile& file, std::int64_t from, std::string_view needle, ArchiveHost& host);

}  // namespace detail
}  // namespace pagimor

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

// How many bytes of the file one step of a scan looks at: the unit after
// which window messages are processed.
inline constexpr std::size_t kScanWindow = 256 * 1024;

enum class ScanStatus { Found, NotFound, ReadFailed };

struct ScanResult {
  ScanStatus status = ScanStatus::NotFound;
  std::int64_t offset = -1;  // of the first marker byte, when found
};

// Finds the first occurrence of needle that begins at or after from, looking
// at the file window by window and processing the host's messages after each.
ScanResult ScanFile(const fs::InputFile& file, std::int64_t from, std::string_view needle, ArchiveHost& host);

}  // namespace detail
}  // namespace pagimor

#include "vxwebtest/search.h"

#include <algorithm>
#include <vector>
#include <cstring>
#include <string>

#include "vxwebtest/archive.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pagimor::detail {

std::size_t FindBytes(std::span<const std::uint8_t> hay, std::string_view needle) {
  const std::size_t n = hay.size();
  const std::size_t m = needle.size();
  if (m == 0) return 0;
  if (n < m) return kNoMatch;
  const auto* h = hay.data();
  const auto* nd = reinterpret_cast<const std::uint8_t*>(needle.data());
  if (m == 1) {
    const void* hit = std::memchr(h, nd[0], n);
    return hit == nullptr ? kNoMatch : static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - h);
  }
  std::size_t i = 0;
#if defined(__SSE2__)
  // Candidates are positions whose first and last bytes both match; only
  // those are compared in full. Markers begin with '<' and end with '>', so
  // on ordinary data a candidate is rare.
  const __m128i first = _mm_set1_epi8(static_cast<char>(nd[0]));
  const __m128i last = _mm_set1_epi8(static_cast<char>(nd[m - 1]));
  for (; i + m - 1 + 16 <= n; i += 16) {
    const __m128i block_first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
    const __m128i block_last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1));
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(first, block_first), _mm_cmpeq_epi8(last, block_last))));
    while (mask != 0) {
      const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
      if (std::memcmp(h + i + bit + 1, nd + 1, m - 2) == 0) return i + bit;
      mask &= mask - 1;
    }
  }
#endif
  for (; i + m <= n; ++i) {
    if (h[i] == nd[0] && std::memcmp(h + i + 1, nd + 1, m - 1) == 0) return i;
  }
  return kNoMatch;
}

ScanResult ScanFile(const fs::InputFile& file, std::int64_t from, std::string_view needle, ArchiveHost& host) {
  const std::size_t m = needle.size();
  if (m == 0 || m > kMaxNeedle) return {ScanStatus::NotFound, -1};
  // The bytes that may begin a match are carried over to the next block, so
  // a match that straddles two blocks is seen whole.
  std::vector<std::uint8_t> buffer(kMaxNeedle + kScanBlock);
  std::size_t carried = 0;
  std::int64_t position = from < 0 ? 0 : from;  // file offset of buffer[carried]
  for (;;) {
    const std::int64_t got = file.ReadAt(position, std::span(buffer).subspan(carried, kScanBlock));
    host.ProcessMessages();
    if (got < 0) return {ScanStatus::ReadFailed, -1};
    if (got == 0) return {ScanStatus::NotFound, -1};
    const std::size_t filled = carried + static_cast<std::size_t>(got);
    const std::size_t hit = FindBytes(std::span(buffer).first(filled), needle);
    if (hit != kNoMatch) {
      return {ScanStatus::Found, position - static_cast<std::int64_t>(carried) + static_cast<std::int64_t>(hit)};
    }
    const std::size_t keep = std::min(filled, m - 1);
    std::memmove(buffer.data(), buffer.data() + filled - keep, keep);
    carried = keep;
    position += got;
  }
}

}  // namespace pagimor::detail

#pragma once
// What create says besides its errors: that the viewer named fits the
// system asked for, and on success what it wrote.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "viewers.h"

namespace pagimor::pack {

// False after a message when --for asked for another system than the
// viewer's.
bool MatchesRequest(System viewer, std::optional<System> requested, const std::string& viewerPath);

// "pagimor-pack: wrote BOOK, a book for SYSTEM: N files, B bytes" on stderr.
void ReportBook(const std::string& book, std::size_t files, std::int64_t bytes, System system);

}  // namespace pagimor::pack

#pragma once
// The version gate: the book runs only on systems of the NT family.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace pagimor {

inline constexpr std::uint32_t kPlatformWin32Windows = 1;
inline constexpr std::uint32_t kPlatformWin32NT = 2;

// 0 to 7 for the known systems, -1 for any other and when the query failed.
std::int32_t ClassifyWindowsVersion(const std::optional<OsVersionInfo>& info);

// The codes that may run the book.
constexpr bool IsSupportedVersion(std::int32_t code) { return code >= 4 && code <= 7; }

// What the Linux desktop reports: a later member of the NT family.
OsVersionInfo DesktopVersionInfo();

inline constexpr std::string_view kUnsupportedSystemMessage =
    "This eBook cannot run on your system. To display international\r\n"
    "characters this eBook requires Windows NT 4, Windows 2000,\r\n"
    "Windows XP or above to run.\r\n"
    "\r\n"
    "Closing program.";

}  // namespace pagimor

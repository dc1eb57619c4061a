#include "vxwebtest/version.h"

namespace pagimor {

std::int32_t ClassifyWindowsVersion(const std::optional<OsVersionInfo>& info) {
  if (!info) return -1;
  const std::uint32_t major = info->majorVersion;
  const std::uint32_t minor = info->minorVersion;
  if (info->platformId == kPlatformWin32Windows) {
    if (major != 4) return -1;
    switch (minor) {
      case 0:
        return 0;
      case 10:
        // Second Edition says so with an 'A' in the second place.
        return info->servicePack.size() >= 2 && info->servicePack[1] == 'A' ? 2 : 1;
      case 90:
        return 3;
      default:
        return -1;
    }
  }
  if (info->platformId == kPlatformWin32NT) {
    if (major <= 4) return 4;
    if (major == 5 && minor == 0) return 5;
    if (major == 5 && minor == 1) return 6;
    return 7;
  }
  return -1;
}

OsVersionInfo DesktopVersionInfo() { return {kPlatformWin32NT, 10, 0, ""}; }

}  // namespace pagimor

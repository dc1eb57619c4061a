#include <gtest/gtest.h>

#include "vxwebtest/version.h"

namespace pagimor {
namespace {

struct VersionCase {
  std::optional<OsVersionInfo> info;
  std::int32_t code;
};

class VersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionTest, ClassifiesBySystemFamilyAndVersion) {
  EXPECT_EQ(ClassifyWindowsVersion(GetParam().info), GetParam().code);
  EXPECT_EQ(IsSupportedVersion(GetParam().code), GetParam().code >= 4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionTest,
    ::testing::Values(VersionCase{OsVersionInfo{1, 4, 0, ""}, 0}, VersionCase{OsVersionInfo{1, 4, 10, ""}, 1},
                      VersionCase{OsVersionInfo{1, 4, 10, " B "}, 1}, VersionCase{OsVersionInfo{1, 4, 10, "A"}, 1},
                      VersionCase{OsVersionInfo{1, 4, 10, " A "}, 2}, VersionCase{OsVersionInfo{1, 4, 90, ""}, 3},
                      VersionCase{OsVersionInfo{1, 4, 1, ""}, -1}, VersionCase{OsVersionInfo{1, 5, 0, ""}, -1},
                      VersionCase{OsVersionInfo{2, 3, 51, ""}, 4}, VersionCase{OsVersionInfo{2, 4, 0, ""}, 4},
                      VersionCase{OsVersionInfo{2, 5, 0, ""}, 5}, VersionCase{OsVersionInfo{2, 5, 1, ""}, 6},
                      VersionCase{OsVersionInfo{2, 5, 2, ""}, 7}, VersionCase{OsVersionInfo{2, 6, 0, ""}, 7},
                      VersionCase{OsVersionInfo{2, 6, 2, ""}, 7}, VersionCase{OsVersionInfo{2, 10, 0, ""}, 7},
                      VersionCase{OsVersionInfo{0, 5, 1, ""}, -1}, VersionCase{OsVersionInfo{3, 5, 1, ""}, -1},
                      VersionCase{std::nullopt, -1}));

TEST(Version, TheDesktopPassesTheGate) { EXPECT_EQ(ClassifyWindowsVersion(DesktopVersionInfo()), 7); }

}  // namespace
}  // namespace pagimor

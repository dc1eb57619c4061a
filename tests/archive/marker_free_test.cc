// A book is found by searching its file from the first byte: a program that
// carries a plain header marker or entry terminator could never open one.
#include <gtest/gtest.h>

#include "support.h"

namespace pagimor::test {
namespace {

TEST(MarkerFree, ProgramsThatLinkTheReaderHoldNoPlainMarker) {
  const std::string programs[] = {PAGIMOR_MARKER_FREE_PROGRAMS};
  for (const std::string& program : programs) {
    const std::string bytes = ReadFile(program);
    ASSERT_GT(bytes.size(), 10000u) << program;
    EXPECT_EQ(bytes.find(Header()), std::string::npos) << program;
    EXPECT_EQ(bytes.find(Terminator()), std::string::npos) << program;
  }
}

}  // namespace
}  // namespace pagimor::test

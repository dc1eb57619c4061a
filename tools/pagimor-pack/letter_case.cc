#include "letter_case.h"

#include <cstdint>

namespace pagimor::pack {
namespace {

struct Run {
  std::uint16_t first;
  std::uint16_t last;
  std::int32_t delta;
  std::uint16_t stride;
};

constexpr Run kUpperCase[] = {
#include "upper_case_table.inc"
};

char16_t Upper(char16_t unit) {
  for (const Run& run : kUpperCase) {
    if (unit >= run.first && unit <= run.last && (unit - run.first) % run.stride == 0) {
      return static_cast<char16_t>(unit + run.delta);
    }
  }
  return unit;
}

}  // namespace

std::u16string UpperCase(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& unit : upper) unit = Upper(unit);
  return upper;
}

}  // namespace pagimor::pack

// Which names a Windows book folder takes for one file. Windows keeps the
// micro sign, the dotless i, the final sigma and the sharp s apart from the
// capitals their upper-case forms point at; folding them would refuse books
// that Windows holds well, and missing a pair would let one file replace
// another.
#include <gtest/gtest.h>

#include "letter_case.h"

#if defined(_WIN32)
#include "platform/win32/winapi.h"
#endif

namespace pagimor::pack {
namespace {

TEST(LetterCase, PairsOnlyALetterWithItsOwnCapital) {
  struct Case {
    std::u16string name;
    std::u16string upper;
  };
  const Case cases[] = {
      {u"index.html", u"INDEX.HTML"},
      {u"звук_ä.wav", u"ЗВУК_Ä.WAV"},
      {u"\u1F80", u"\u1F88"},          // alpha with a subscript iota: two units in full upper case
      {u"\u01C6\u01C5", u"\u01C4\u01C5"},  // dž goes with DŽ, not with the title-case Dž
      {u"\u00B5\u0131\u017F\u03C2", u"\u00B5\u0131\u017F\u03C2"},  // micro, dotless i, long s, final sigma
      {u"\u00DF", u"\u00DF"},          // sharp s: its capital upper-cases to itself
      {u"\u212Ak", u"\u212AK"},        // the Kelvin sign is no K
      {u"\U0001F600", u"\U0001F600"},  // surrogates stay
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UpperCase(c.name), c.upper) << "case " << &c - cases;
  }
}

#if defined(_WIN32)
// The table against the system's own upper-case mapping, unit by unit.
TEST(LetterCase, AgreesWithTheSystemOnEveryUnit) {
  int differ = 0;
  for (unsigned unit = 1; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    wchar_t system = static_cast<wchar_t>(unit);
    ::CharUpperBuffW(&system, 1);
    const char16_t ours = UpperCase(std::u16string(1, static_cast<char16_t>(unit)))[0];
    if (static_cast<char16_t>(system) != ours && ++differ <= 10) {
      ADD_FAILURE() << std::hex << "U+" << unit << ": the system says U+" << static_cast<unsigned>(system)
                    << ", the table U+" << static_cast<unsigned>(ours);
    }
  }
  EXPECT_EQ(differ, 0);
}
#endif

}  // namespace
}  // namespace pagimor::pack

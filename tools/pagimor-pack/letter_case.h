#pragma once
// Names as a file system that ignores letter case sees them: Windows takes
// "Index.html" and "index.html" for one file, so a book for Windows must not
// carry both.

#include <string>
#include <string_view>

namespace pagimor::pack {

// Every UTF-16 unit replaced by its capital, unit by unit as Windows
// compares names: only a letter that is the capital's own lower-case form
// has one (so the dotless i and the final sigma keep to themselves; see
// make_upper_case_table.py). Surrogates and units without one stay.
std::u16string UpperCase(std::u16string_view name);

}  // namespace pagimor::pack

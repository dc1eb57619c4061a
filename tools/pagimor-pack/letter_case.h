#pragma once
// Names as a file system that ignores letter case sees them: Windows takes
// "Index.html" and "index.html" for one file, so a book for Windows must not
// carry both.

#include <string>
#include <string_view>

namespace pagimor::pack {

// Every UTF-16 unit in its simple upper-case form, unit by unit as Windows
// compares names; surrogates and units without one stay as they are.
std::u16string UpperCase(std::u16string_view name);

}  // namespace pagimor::pack

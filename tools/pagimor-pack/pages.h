#pragma once
// What the packer notices about a book's pages without refusing them.

#include <string>
#include <string_view>
#include <vector>

namespace pagimor::pack {

// How much of a page is read to find its <head>: a head that ends later
// still gets its warning, never a refusal.
inline constexpr std::size_t kPageHeadLimit = 1024 * 1024;

// True for a name the Windows viewer shows as a web page (.html, .htm).
bool IsHtmlPage(std::string_view utf8Name);

// True when the page's <head> (or, with no <head>, what comes before
// <body>) holds no <meta http-equiv="X-UA-Compatible" content="IE=edge">.
// The Windows viewer's browser control shows such a page in an old
// compatibility mode, without fetch(). Attributes in any order, letter case
// and quoting count; a line inside a comment does not.
bool LacksModernMode(std::string_view page);

// The warning, on stderr, for the page `what` (a file or a book's entry).
void WarnOldMode(const std::string& what);

// Reads the start of the file and warns when a Windows book would show it
// in the old mode; nothing for a name that is no page.
void WarnIfOldModePage(const std::u16string& filePath, const std::string& utf8Name, const std::string& what);

// For a folder without index.html: a hint naming a file that differs from
// it only in letter case (Index.html), else nothing.
std::string IndexLetterCaseHint(const std::vector<std::u16string>& names);

}  // namespace pagimor::pack

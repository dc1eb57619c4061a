#pragma once
// The files a book is made from: the whole tree under FOLDER, in a fixed
// order, without what is left out by default or by --exclude, and with
// every name checked against the rules a book's entries keep.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagimor::pack {

struct SourceFile {
  std::string path;         // for messages
  std::u16string filePath;  // as the file layer opens it
  std::string utf8Name;     // the entry's name (its path from FOLDER, joined by '/'), valid UTF-8
  std::u16string name;
  std::int64_t size = 0;
};

// What a book leaves out without being asked: version-control metadata and
// the files desktops leave in folders. A name in the table is left out at
// any depth; one marked as a folder only when it is a folder.
struct LeftOut {
  std::u16string_view name;
  bool folderOnly;
};
inline constexpr LeftOut kLeftOutByDefault[] = {
    {u".git", false},      {u".hg", false},        {u".svn", false},       {u".DS_Store", false},
    {u"Thumbs.db", false}, {u"desktop.ini", false}, {u"__MACOSX", true},
};

// A glob: '*' is any run of characters but '/', '**' any run at all, '?'
// one character but '/', "[...]" one of a set ("[!...]" none of it, "a-z"
// a range). A backslash stands for '/', as on Windows.
bool GlobMatches(std::u16string_view pattern, std::u16string_view text);

// Whether --exclude PATTERN leaves out the file or folder at path (from
// FOLDER, joined by '/'): a pattern without '/' is matched against its own
// name at any depth, one with '/' against the whole path; one that ends
// with '/' matches folders only.
bool Excludes(std::u16string_view pattern, std::u16string_view path, bool isFolder);

// Collects the files of the tree under folder in the order of their
// entry names' UTF-8 bytes, refusing with a message for each what a book
// cannot carry; false when anything was refused.
bool CollectTree(const std::string& folder, const std::vector<std::string>& excludes, std::vector<SourceFile>& files);

}  // namespace pagimor::pack

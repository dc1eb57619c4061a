// The file layer with the paths and names a book brings along: names
// outside any 8-bit code page, paths past 260 units, reads that reach the
// end, files replaced in place; on Windows also who else may open a file
// while it is read or written, and the system's error texts in any language.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archive/support.h"
#include "platform/file.h"
#include "platform/text.h"

#if defined(_WIN32)
#include "platform/win32/handles.h"
#include "platform/win32/path.h"
#include "platform/win32/winapi.h"
#endif

namespace pagimor::test {
namespace {

namespace stdfs = std::filesystem;

#if defined(_WIN32)
constexpr fs::ErrorCode kNoSuchFile = ERROR_FILE_NOT_FOUND;
constexpr fs::ErrorCode kIsAFolder = ERROR_ACCESS_DENIED;
#else
constexpr fs::ErrorCode kNoSuchFile = ENOENT;
constexpr fs::ErrorCode kIsAFolder = EISDIR;
#endif

std::u16string PathOf(const stdfs::path& path) { return path.u16string(); }

std::string ReadAll(std::u16string_view path) {
  const fs::InputFile file(path);
  if (!file.is_open()) return "(cannot open: " + fs::ErrorText(file.error()) + ")";
  std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
  const std::int64_t got = file.ReadAt(0, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return bytes;
}

bool WriteAll(std::u16string_view path, std::string_view bytes) {
  fs::OutputFile file;
  return file.Create(path) && file.Write(bytes) && file.Close();
}

TEST(FileLayer, WritesReadsAndRemovesLongAndNonAsciiPaths) {
  struct Case {
    const char* what;
    std::u16string folder;  // made inside the scratch folder first, when not empty
    std::u16string name;
  };
  const Case cases[] = {
      {"a name outside every 8-bit code page", u"", u"Жé✓ книга.html"},
      {"a path of more than 260 units", std::u16string(150, u'a'), std::u16string(120, u'b') + u".gif"},
  };
  const ScratchDir dir;
  for (const Case& c : cases) {
    std::u16string folder = PathOf(dir.path());
    if (!c.folder.empty()) {
      folder = fs::JoinPath(folder, c.folder);
      ASSERT_TRUE(stdfs::create_directory(stdfs::path(folder))) << c.what;
    }
    const std::u16string path = fs::JoinPath(folder, c.name);
    ASSERT_GT(path.size(), c.folder.empty() ? 0u : 260u) << c.what;
    ASSERT_TRUE(WriteAll(path, "contents")) << c.what;
    EXPECT_EQ(ReadAll(path), "contents") << c.what;
    EXPECT_EQ(fs::RemoveFile(path), 0) << c.what;
    EXPECT_FALSE(fs::InputFile(path).is_open()) << c.what;
  }
}

// Paths are bytes on Linux: whatever is not UTF-8 among them survives the
// way into the program's UTF-16 paths and back, while UTF-8 reads as its
// characters. A name of a book, valid UTF-16, joins such a path unchanged.
TEST(PathText, MapsEveryPathLosslesslyAndUtf8AsItsCharacters) {
  struct Case {
    const char* what;
    std::string bytes;
    std::u16string path;
  };
  const Case cases[] = {
      {"ASCII", "/tmp/book", u"/tmp/book"},
      {"UTF-8", "/home/j\xc3\xbcrgen/\xe5\x9b\xb3\xf0\x9f\x93\x96", u"/home/j\u00fcrgen/\u56f3\U0001F4D6"},
      {"Latin-1", "/home/B\xfc" "cher", u"/home/B\xdcfc" u"cher"},
      {"0xFF", "t\xff", u"t\xdcff"},
      {"a lone continuation byte", "a\x80" "b", u"a\xdc80" u"b"},
      {"a sequence cut short", "a\xe2\x82", u"a\xdce2\xdc82"},
      {"a sequence cut short by ASCII", "\xe2\x82z", u"\xdce2\xdc82z"},
      {"an overlong slash", "\xc0\xaf", u"\xdcc0\xdcaf"},
      {"an encoded surrogate", "\xed\xa0\x80", u"\xdced\xdca0\xdc80"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", u"\xdcf4\xdc90\xdc80\xdc80"},
      {"the replacement character itself", "b\xef\xbf\xbd", u"b\ufffd"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathFromBytes(c.bytes), c.path) << c.what;
    EXPECT_EQ(PathToBytes(c.path), c.bytes) << c.what;
  }
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(PathToBytes(PathFromBytes(one)), one) << byte;
  }
  EXPECT_EQ(PathToBytes(PathFromBytes("/tmp/t\xff") + u"/" + u"\u00c4pfel \U0001F34E.html"),
            "/tmp/t\xff/\xc3\x84pfel \xf0\x9f\x8d\x8e.html");
}

#if !defined(_WIN32)
// The file layer takes such paths byte for byte: the file made is the one
// named, not one whose name has U+FFFD in place of the bytes.
TEST(FileLayer, UsesPathsThatAreNotUtf8ByteForByte) {
  const ScratchDir dir;
  const stdfs::path folder = dir / "t\xff";
  stdfs::create_directory(folder);
  WriteFile(dir / "t\xef\xbf\xbd", "another file");
  const std::u16string path = PathFromBytes((folder / "B\xfc" "cher").native());
  ASSERT_TRUE(WriteAll(path, "mine"));
  EXPECT_EQ(ReadFile(folder / "B\xfc" "cher"), "mine");
  EXPECT_EQ(ReadAll(path), "mine");
  EXPECT_EQ(ReadFile(dir / "t\xef\xbf\xbd"), "another file");
  EXPECT_TRUE(fs::IsFile(path));
  EXPECT_EQ(fs::RemoveFile(path), 0);
  EXPECT_FALSE(stdfs::exists(folder / "B\xfc" "cher"));
}
#endif

TEST(FileLayer, ReadsStopAtTheEnd) {
  const ScratchDir dir;
  const std::u16string path = PathOf(dir / "ten");
  ASSERT_TRUE(WriteAll(path, "0123456789"));
  const fs::InputFile file(path);
  ASSERT_TRUE(file.is_open());
  EXPECT_EQ(file.Size(), 10);
  struct Case {
    std::int64_t offset;
    std::int64_t expected;  // the count read
    std::string bytes;
  };
  for (const Case& c : {Case{0, 4, "0123"}, Case{8, 2, "89"}, Case{10, 0, ""}, Case{4000, 0, ""}, Case{-1, -1, ""}}) {
    std::string buffer(4, '\0');
    const std::int64_t got =
        file.ReadAt(c.offset, std::span(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size()));
    EXPECT_EQ(got, c.expected) << "at " << c.offset;
    if (got >= 0) {
      EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(got)), c.bytes) << "at " << c.offset;
    }
  }
}

TEST(FileLayer, NewFilesReplaceOldOnes) {
  const ScratchDir dir;
  const std::u16string target = PathOf(dir / "book");
  WriteFile(dir / "book", "an old and longer book");
  ASSERT_TRUE(WriteAll(target, "new"));
  EXPECT_EQ(ReadFile(dir / "book"), "new");

  // A complete book renamed over the old one, as the packer writes it.
  fs::OutputFile temp;
  ASSERT_TRUE(temp.CreateTempBeside(target));
  EXPECT_EQ(stdfs::path(temp.path()).parent_path(), dir.path());
  ASSERT_TRUE(temp.Write(std::string_view("complete")));
  ASSERT_TRUE(temp.Close());
  EXPECT_EQ(fs::RenameFile(temp.path(), target), 0);
  EXPECT_EQ(ReadFile(dir / "book"), "complete");
  EXPECT_FALSE(stdfs::exists(stdfs::path(temp.path())));
}

// The run hands its folder's lock to the guard that removes the folder, and
// files may be moved between owners: what moves stays open in its new
// owner alone, and what it replaces is closed.
TEST(FileLayer, MovedFilesAndFoldersStayOpenInTheirNewOwner) {
  const ScratchDir dir;
  fs::OutputFile first;
  fs::OutputFile second;
  ASSERT_TRUE(first.Create(PathOf(dir / "first")) && second.Create(PathOf(dir / "second")));
  second = std::move(first);
  EXPECT_FALSE(first.is_open());  // NOLINT: a moved-from owner holds nothing
  ASSERT_TRUE(second.is_open());
  EXPECT_EQ(second.path(), PathOf(dir / "first"));
  ASSERT_TRUE(second.Write(std::string_view("moved")) && second.Close());
  EXPECT_EQ(ReadFile(dir / "first"), "moved");
  // The file it held before is closed: it could be removed (Windows keeps
  // a file open to nobody else while it is written).
  EXPECT_EQ(fs::RemoveFile(PathOf(dir / "second")), 0);

  const std::u16string folder = PathOf(dir / "folder");
  ASSERT_EQ(fs::CreatePrivateFolder(folder), 0);
  fs::Folder held;
  ASSERT_TRUE(held.Open(folder) && held.TryLock());
  fs::Folder guard(std::move(held));
  EXPECT_FALSE(held.is_open());  // NOLINT: as above
  fs::Folder other;
  ASSERT_TRUE(other.Open(folder));
  EXPECT_FALSE(other.TryLock());
  guard.Close();
  EXPECT_TRUE(other.TryLock());
}

TEST(FileLayer, WhatCannotBeOpenedSaysWhy) {
  const ScratchDir dir;
  struct Case {
    const char* what;
    std::u16string path;
    fs::ErrorCode expected;
  };
  const Case cases[] = {
      {"a missing file", PathOf(dir / "missing"), kNoSuchFile},
      {"a folder", PathOf(dir.path()), kIsAFolder},
  };
  for (const Case& c : cases) {
    const fs::InputFile file(c.path);
    EXPECT_FALSE(file.is_open()) << c.what;
    EXPECT_EQ(file.error(), c.expected) << c.what;
    const std::string text = fs::ErrorText(file.error());
    ASSERT_FALSE(text.empty()) << c.what;
    EXPECT_NE(text.back(), '.') << c.what << ": " << text;
    EXPECT_NE(text.back(), '\n') << c.what << ": " << text;
    EXPECT_NE(text.back(), ' ') << c.what << ": " << text;
  }
}

// A tree is made level by level, each folder inside the one held open
// above it: a link put in a folder's place, before or between two files, is
// refused rather than followed, and nothing lands outside the root.
TEST(FileLayerTree, MakesFoldersLevelByLevelAndNeverThroughALink) {
  const ScratchDir dir;
  stdfs::create_directory(dir / "root");
  stdfs::create_directory(dir / "outside");
  fs::Folder root;
  ASSERT_TRUE(root.Open(PathOf(dir / "root")));
  fs::OutputFile out;
  ASSERT_EQ(fs::CreateInTree(root, u"img/deep/a.gif", out), 0);
  ASSERT_TRUE(out.Write("a") && out.Close());
  EXPECT_EQ(ReadAll(PathOf(dir / "root" / "img" / "deep" / "a.gif")), "a");
  // The folders made are the files': private to their owner.
#if !defined(_WIN32)
  EXPECT_EQ(stdfs::status(dir / "root" / "img").permissions() & stdfs::perms::all, stdfs::perms::owner_all);
#endif
  // Beside an existing folder, and into it again.
  ASSERT_EQ(fs::CreateInTree(root, u"img/b.gif", out), 0);
  ASSERT_TRUE(out.Close());

  // Someone swaps the folder for a link to elsewhere while the tree is made.
  stdfs::rename(dir / "root" / "img", dir / "moved");
  std::error_code linkError;
  stdfs::create_directory_symlink(dir / "outside", dir / "root" / "img", linkError);
  if (linkError) GTEST_SKIP() << "this user may not make links: " << linkError.message();
  EXPECT_NE(fs::CreateInTree(root, u"img/c.gif", out), 0);
  EXPECT_NE(fs::CreateInTree(root, u"img/deep/c.gif", out), 0);
  EXPECT_TRUE(stdfs::is_empty(dir / "outside"));
  // A link to a file in the last place is replaced, never written through.
  WriteAll(PathOf(dir / "outside" / "target"), "keep");
  stdfs::create_symlink(dir / "outside" / "target", dir / "root" / "file.txt", linkError);
  ASSERT_FALSE(linkError);
  ASSERT_EQ(fs::CreateInTree(root, u"file.txt", out), 0);
  ASSERT_TRUE(out.Write("new") && out.Close());
  EXPECT_EQ(ReadAll(PathOf(dir / "outside" / "target")), "keep");
  EXPECT_FALSE(stdfs::is_symlink(dir / "root" / "file.txt"));
}

#if defined(_WIN32)
// What another open of path for access meets, sharing everything: 0 when
// it succeeds, else the system's code.
DWORD OtherOpen(std::u16string_view path, DWORD access) {
  const win32::UniqueHandle other(::CreateFileW(win32::NativePath(path).c_str(), access,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return other.get() != INVALID_HANDLE_VALUE ? 0 : ::GetLastError();
}

constexpr auto kSharingViolation = static_cast<DWORD>(ERROR_SHARING_VIOLATION);

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// The system's texts come through in UTF-8 whatever their language: the
// ANSI calls would give French in the code page's bytes and Russian as
// question marks.
TEST(FileLayerWindows, ErrorTextsAreUtf8InAnyLanguage) {
  if (!UnderWine()) GTEST_SKIP() << "the expected texts are Wine's";
  struct Case {
    DWORD code;
    LANGID language;
    const char* expected;
  };
  const Case cases[] = {
      {ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "File not found"},
      {ERROR_ACCESS_DENIED, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), "Accès refusé"},
      {ERROR_ALREADY_EXISTS, MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), "Файл уже существует"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(win32::SystemErrorText(c.code, c.language), c.expected) << c.code << " in " << c.language;
  }
  if (PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_ENGLISH) {
    EXPECT_EQ(fs::ErrorText(ERROR_FILE_NOT_FOUND), "File not found");
  }
  EXPECT_EQ(fs::ErrorText(0x2000ABCD), "Unknown error 536914893");
}

// A book's entry may bear the short alias of one written before it
// ("LONG~YQ3.HTM" under Wine, "LONGFI~1.HTM" on Windows for
// "longfilename.htm"): the other file stays, and the new one is refused.
TEST(FileLayerWindows, ANewFileNeverReplacesAnotherThroughItsShortName) {
  const ScratchDir dir;
  const std::u16string longPath = PathOf(dir / "longfilename.htm");
  ASSERT_TRUE(WriteAll(longPath, "first"));
  std::wstring shortPath(MAX_PATH, L'\0');
  shortPath.resize(::GetShortPathNameW(win32::ToWide(longPath).c_str(), shortPath.data(), MAX_PATH));
  const std::wstring alias = shortPath.substr(shortPath.find_last_of(L'\\') + 1);
  ASSERT_FALSE(alias.empty());
  if (::lstrcmpiW(alias.c_str(), L"longfilename.htm") == 0) GTEST_SKIP() << "this volume keeps no short names";

  fs::OutputFile out;
  EXPECT_FALSE(out.Create(fs::JoinPath(PathOf(dir.path()), win32::FromWide(alias))));
  EXPECT_EQ(out.error(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadAll(longPath), "first");
  // The file's own name in other letters is its name: it is replaced.
  ASSERT_TRUE(WriteAll(PathOf(dir / "LongFileName.HTM"), "second"));
  EXPECT_EQ(ReadAll(longPath), "second");
}

// The same for a folder of a book's tree: "LONGFO~1/x" is refused, not
// written into the folder made for "longfoldername".
TEST(FileLayerWindows, AFolderIsNeverReachedThroughItsShortName) {
  const ScratchDir dir;
  fs::Folder root;
  ASSERT_TRUE(root.Open(PathOf(dir.path())));
  fs::Folder made;
  ASSERT_EQ(root.MakeFolder(u"longfoldername", made), 0);
  made.Close();
  std::wstring shortPath(MAX_PATH, L'\0');
  shortPath.resize(::GetShortPathNameW(win32::ToWide(PathOf(dir / "longfoldername")).c_str(), shortPath.data(), MAX_PATH));
  const std::wstring alias = shortPath.substr(shortPath.find_last_of(L'\\') + 1);
  ASSERT_FALSE(alias.empty());
  if (::lstrcmpiW(alias.c_str(), L"longfoldername") == 0) GTEST_SKIP() << "this volume keeps no short names";
  fs::OutputFile out;
  EXPECT_EQ(fs::CreateInTree(root, win32::FromWide(alias) + u"/x.png", out), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(stdfs::is_empty(dir / "longfoldername"));
}

TEST(FileLayerWindows, AFileBeingReadMayBeReadButNotWritten) {
  const ScratchDir dir;
  const std::u16string path = PathOf(dir / "book");
  ASSERT_TRUE(WriteAll(path, "bytes"));
  const fs::InputFile file(path);
  ASSERT_TRUE(file.is_open());
  EXPECT_EQ(OtherOpen(path, GENERIC_READ), 0u);
  EXPECT_EQ(OtherOpen(path, GENERIC_WRITE), kSharingViolation);
}

TEST(FileLayerWindows, AFileBeingWrittenIsOpenToNobodyElse) {
  const ScratchDir dir;
  const std::u16string path = PathOf(dir / "out");
  fs::OutputFile file;
  ASSERT_TRUE(file.Create(path));
  EXPECT_EQ(OtherOpen(path, GENERIC_READ), kSharingViolation);
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(OtherOpen(path, GENERIC_READ), 0u);
}
#endif

}  // namespace
}  // namespace pagimor::test

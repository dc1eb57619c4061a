#include "tree.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "console.h"
#include "pages.h"
#include "paths.h"
#include "platform/text.h"
#include "vxwebtest/format.h"

#if defined(_WIN32)
#include "platform/win32/winapi.h"
#endif

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

char16_t Fold(char16_t c) { return c == u'\\' ? u'/' : c; }

// One element of a set at pattern[i] (just after '['); the length of the
// set, with its closing ']', or 0 when it has none (then '[' is itself).
std::size_t MatchSet(std::u16string_view pattern, std::size_t i, char16_t c, bool& matched) {
  const std::size_t start = i;
  bool negate = false;
  if (i < pattern.size() && (pattern[i] == u'!' || pattern[i] == u'^')) {
    negate = true;
    ++i;
  }
  bool any = false;
  for (bool first = true; i < pattern.size() && (first || pattern[i] != u']'); first = false) {
    const char16_t low = Fold(pattern[i]);
    if (i + 2 < pattern.size() && pattern[i + 1] == u'-' && pattern[i + 2] != u']') {
      if (c >= low && c <= Fold(pattern[i + 2])) any = true;
      i += 3;
    } else {
      if (c == low) any = true;
      ++i;
    }
  }
  if (i >= pattern.size()) return 0;
  matched = any != negate && c != u'/';
  return i + 1 - start + 1;
}

bool Match(std::u16string_view p, std::u16string_view t) {
  while (!p.empty()) {
    if (p[0] == u'*') {
      const bool crossing = p.size() > 1 && p[1] == u'*';
      std::u16string_view rest = p.substr(crossing ? 2 : 1);
      // "**/" also matches no folder at all.
      if (crossing && !rest.empty() && Fold(rest[0]) == u'/' && Match(rest.substr(1), t)) return true;
      for (std::size_t k = 0;; ++k) {
        if (Match(rest, t.substr(k))) return true;
        if (k >= t.size() || (!crossing && t[k] == u'/')) return false;
      }
    }
    if (t.empty()) return false;
    if (p[0] == u'?') {
      if (t[0] == u'/') return false;
      p.remove_prefix(1);
    } else if (p[0] == u'[') {
      bool matched = false;
      const std::size_t length = MatchSet(p, 1, t[0], matched);
      if (length == 0) {
        if (t[0] != u'[') return false;
        p.remove_prefix(1);
      } else {
        if (!matched) return false;
        p.remove_prefix(length);
      }
    } else {
      if (Fold(p[0]) != t[0]) return false;
      p.remove_prefix(1);
    }
    t.remove_prefix(1);
  }
  return t.empty();
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

bool LeftOutByDefault(std::u16string_view name, bool isFolder) {
  return std::any_of(std::begin(kLeftOutByDefault), std::end(kLeftOutByDefault), [&](const LeftOut& entry) {
    return (isFolder || !entry.folderOnly) && EqualsIgnoringAsciiCase(name, entry.name);
  });
}

class TreeWalk {
 public:
  TreeWalk(const stdfs::path& root, const std::vector<std::string>& excludes) {
    std::error_code ec;
    rootCanonical_ = stdfs::canonical(root, ec);
    for (const std::string& pattern : excludes) patterns_.push_back(Widen(pattern));
  }

  void Walk(const stdfs::path& folder, const std::u16string& prefix) {
    std::error_code ec;
    std::vector<stdfs::directory_entry> entries;
    for (stdfs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    if (ec) {
      Refuse(PathText(folder), "cannot be read: " + ec.message());
      return;
    }
    for (const stdfs::directory_entry& entry : entries) Visit(entry, prefix);
  }

  std::vector<SourceFile> files;
  bool ok = true;
  bool leftOut = false;  // by default or by --exclude

 private:
  void Refuse(const std::string& path, const std::string& why) {
    Complain(Quote(path) + ": " + why);
    ok = false;
  }

  bool Excluded(std::u16string_view path, std::u16string_view name, bool isFolder) const {
    if (LeftOutByDefault(name, isFolder)) return true;
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&](const std::u16string& pattern) { return Excludes(pattern, path, isFolder); });
  }

  // True when the link at path points to a regular file inside the folder.
  bool LinksInside(const stdfs::path& path) const {
    std::error_code ec;
    const stdfs::path target = stdfs::canonical(path, ec);
    if (ec || rootCanonical_.empty() || !stdfs::is_regular_file(target, ec)) return false;
    const auto [rootEnd, unused] = std::mismatch(rootCanonical_.begin(), rootCanonical_.end(), target.begin(), target.end());
    return rootEnd == rootCanonical_.end();
  }

  void Visit(const stdfs::directory_entry& entry, const std::u16string& prefix) {
    const std::string shown = PathText(entry.path());
#if defined(_WIN32)
    // Wide already; a lone surrogate is caught with the other name problems.
    const std::optional<std::u16string> name = FilePath(entry.path().filename());
#else
    const std::optional<std::u16string> name = FromUtf8(entry.path().filename().native());
#endif
    std::error_code ec;
    const stdfs::file_status own = entry.symlink_status(ec);
    const bool isFolder = stdfs::is_directory(own);
    if (!name) {
      Refuse(shown, "the name is not valid UTF-8");
      return;
    }
    const std::u16string path = prefix.empty() ? *name : prefix + u'/' + *name;
    if (Excluded(path, *name, isFolder)) {
      leftOut = true;
      return;
    }
    if (isFolder) {
#if defined(_WIN32)
      // A junction is a folder to the standard library: it is a link all
      // the same, and may lead out of the folder or into a loop.
      const DWORD attributes = ::GetFileAttributesW(entry.path().c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        Refuse(shown, "is a junction or a link to a folder; a book takes a link only when it points to a file "
                      "inside its folder");
        return;
      }
#endif
      // No entry below a path this long can be packed: the walk stops here
      // rather than follow a tree without end.
      if (path.size() >= static_cast<std::size_t>(kMaxNameUnits)) {
        Refuse(shown, "the folder's path is 255 UTF-16 units or longer, and a file's path in a book is at most 255");
        return;
      }
      Walk(entry.path(), path);
      return;
    }
    if (stdfs::is_symlink(own)) {
      // A link may bring in a file of the tree under a second name, never
      // anything from outside it, nor a folder.
      if (!LinksInside(entry.path())) {
        std::error_code readError;
        const stdfs::path target = stdfs::read_symlink(entry.path(), readError);
        Refuse(shown, "is a symbolic link" + (readError ? std::string() : " to " + Quote(PathText(target))) +
                          "; a book takes a link only when it points to a file inside its folder");
        return;
      }
    } else if (!stdfs::is_regular_file(own)) {
      Refuse(shown, "is not a regular file");
      return;
    }
    if (const std::string problem = EntryNameProblem(path); !problem.empty()) {
      Refuse(shown, problem);
      return;
    }
    SourceFile file;
    file.path = shown;
    file.filePath = FilePath(entry.path());
    file.name = path;
    file.utf8Name = ToUtf8(path);
    file.size = static_cast<std::int64_t>(stdfs::file_size(entry.path(), ec));
    if (ec) {
      Refuse(shown, ec.message());
      return;
    }
    files.push_back(std::move(file));
  }

  stdfs::path rootCanonical_;
  std::vector<std::u16string> patterns_;
};

}  // namespace

bool GlobMatches(std::u16string_view pattern, std::u16string_view text) { return Match(pattern, text); }

bool Excludes(std::u16string_view pattern, std::u16string_view path, bool isFolder) {
  std::u16string p(pattern);
  std::replace(p.begin(), p.end(), u'\\', u'/');
  if (!p.empty() && p.back() == u'/') {
    if (!isFolder) return false;
    p.pop_back();
  }
  if (p.find(u'/') == std::u16string::npos) {
    const std::size_t slash = path.rfind(u'/');
    return Match(p, slash == std::u16string_view::npos ? path : path.substr(slash + 1));
  }
  if (p.front() == u'/') p.erase(0, 1);
  return Match(p, path);
}

bool CollectTree(const std::string& folderText, const std::vector<std::string>& excludes,
                 std::vector<SourceFile>& files) {
  const stdfs::path folder = ToPath(folderText);
  std::error_code ec;
  if (!stdfs::is_directory(folder, ec)) {
    Complain(Quote(folderText) + " is not a folder");
    return false;
  }
  TreeWalk walk(folder, excludes);
  walk.Walk(folder, u"");
  if (!walk.ok) return false;
  files = std::move(walk.files);
  // The order of the names' bytes, the same on every system.
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.utf8Name < b.utf8Name; });
  if (files.empty()) {
    // .git alone, say: the folder is not empty, but nothing in it is packed.
    Complain(Quote(folderText) + (walk.leftOut ? " holds only what is left out" : " is empty"));
    return false;
  }
  if (files.size() > static_cast<std::size_t>(kMaxFileCount)) {
    Complain(Quote(folderText) + " holds " + std::to_string(files.size()) + " files; a book holds at most " +
             std::to_string(kMaxFileCount) + " (counted in all its subfolders, without what is left out)");
    return false;
  }
  if (std::none_of(files.begin(), files.end(), [](const SourceFile& f) { return f.name == u"index.html"; })) {
    std::vector<std::u16string> names;
    for (const SourceFile& f : files) names.push_back(f.name);
    Complain(Quote(folderText) + " has no index.html, the page a book opens on" + IndexLetterCaseHint(names));
    return false;
  }
  return true;
}

}  // namespace pagimor::pack

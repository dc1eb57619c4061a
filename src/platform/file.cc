// The parts of the file layer that are the same on every system.
#include "platform/file.h"

#include <type_traits>
#include <vector>

namespace pagimor::fs {

std::string detail::TrimErrorText(std::string text) {
  while (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.' && last != 0x7F) break;
    text.pop_back();
  }
  return text;
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path += kSeparator;
  path += name;
  return path;
}

namespace {

// The longest file name on the systems we write to, in their code units.
constexpr std::size_t kNameLimit = 255;

template <typename Char>
std::basic_string<Char> StemOf(std::basic_string_view<Char> name) {
  const std::size_t around = 1 + detail::kPartialMark.size() + detail::kPartialRandomLength;
  if (name.size() + around <= kNameLimit) return std::basic_string<Char>(name);
  // FNV-1a over the code units: two long names that share their start keep
  // stems of their own.
  std::uint32_t digest = 2166136261u;
  for (const Char c : name) {
    digest ^= static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
    digest *= 16777619u;
  }
  constexpr std::size_t kDigestLength = 1 + 8;
  std::basic_string<Char> stem(name.substr(0, kNameLimit - around - kDigestLength));
  stem.push_back(static_cast<Char>('~'));
  for (int shift = 28; shift >= 0; shift -= 4) {
    stem.push_back(static_cast<Char>("0123456789abcdef"[(digest >> shift) & 0xF]));
  }
  return stem;
}

template <typename Char>
bool IsPartialOfStem(std::basic_string_view<Char> name, std::basic_string_view<Char> stem) {
  const std::size_t fixed = 1 + stem.size() + detail::kPartialMark.size();
  if (name.size() != fixed + detail::kPartialRandomLength || name.front() != static_cast<Char>('.') ||
      name.substr(1, stem.size()) != stem) {
    return false;
  }
  for (std::size_t i = 0; i < detail::kPartialMark.size(); ++i) {
    if (name[1 + stem.size() + i] != static_cast<Char>(detail::kPartialMark[i])) return false;
  }
  for (const Char c : name.substr(fixed)) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

}  // namespace

std::string detail::PartialStem(std::string_view name) { return StemOf(name); }
std::u16string detail::PartialStem(std::u16string_view name) { return StemOf(name); }
bool detail::IsPartialOf(std::u16string_view name, std::u16string_view stem) { return IsPartialOfStem(name, stem); }
bool detail::IsPartialOf(std::string_view name, std::string_view stem) { return IsPartialOfStem(name, stem); }

ErrorCode CreateInTree(const Folder& root, std::u16string_view path, OutputFile& out, unsigned fileMode,
                       unsigned folderMode) {
  // Every level stays open until the file is made: on Windows an open
  // folder cannot be renamed or removed, so no level can be swapped for a
  // junction behind our back.
  std::vector<Folder> levels;
  const Folder* parent = &root;
  for (std::size_t slash; (slash = path.find(u'/')) != std::u16string_view::npos; path.remove_prefix(slash + 1)) {
    Folder child;
    if (const ErrorCode error = parent->MakeFolder(path.substr(0, slash), child, folderMode); error != 0) return error;
    levels.push_back(std::move(child));
    parent = &levels.back();
  }
  if (!out.CreateIn(*parent, path, fileMode)) return out.error() != 0 ? out.error() : -1;
  return 0;
}

ErrorCode RemoveInTree(const Folder& root, std::u16string_view path) {
  std::vector<Folder> levels;
  const Folder* parent = &root;
  for (std::size_t slash; (slash = path.find(u'/')) != std::u16string_view::npos; path.remove_prefix(slash + 1)) {
    Folder child;
    if (!child.OpenIn(*parent, path.substr(0, slash))) return child.error();
    levels.push_back(std::move(child));
    parent = &levels.back();
  }
  return parent->RemoveEntry(path);
}

bool OutputFile::Write(std::string_view data) {
  return Write(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

}  // namespace pagimor::fs

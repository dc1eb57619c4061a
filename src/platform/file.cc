// The parts of the file layer that are the same on every system.
#include "platform/file.h"

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

// The parts of the file layer that are the same on every system.
#include "platform/file.h"

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

}  // namespace pagimor::fs

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

bool OutputFile::Write(std::string_view data) {
  return Write(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

}  // namespace pagimor::fs

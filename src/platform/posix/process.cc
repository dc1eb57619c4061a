#include "platform/process.h"

#include <limits.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "platform/text.h"

namespace pagimor::proc {

std::optional<std::u16string> OwnProgramPath() {
  std::array<char, PATH_MAX + 1> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size() - 1) return std::nullopt;
  return PathFromBytes(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
}

bool IsTerminal(Stream stream) { return ::isatty(stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO) == 1; }

void WriteText(Stream stream, std::string_view utf8) {
  std::FILE* out = stream == Stream::Output ? stdout : stderr;
  std::fwrite(utf8.data(), 1, utf8.size(), out);
  std::fflush(out);
}

}  // namespace pagimor::proc

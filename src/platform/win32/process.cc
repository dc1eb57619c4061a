#include "platform/process.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/path.h"
#include "platform/win32/winapi.h"

namespace pagimor::proc {
namespace {

// The longest path the wide calls take.
constexpr std::size_t kLongestPath = 32768;

HANDLE StandardHandle(Stream stream) {
  return ::GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

std::optional<std::u16string> OwnProgramPath() {
  // The call cuts the path to the buffer and says so only by filling it.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) {
      buffer.resize(length);
      return win32::FromWide(buffer);
    }
    if (buffer.size() >= kLongestPath) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

bool IsTerminal(Stream stream) {
  // Only a console has a console mode; a file, a pipe or the NUL device has none.
  DWORD mode = 0;
  return ::GetConsoleMode(StandardHandle(stream), &mode) != 0;
}

void WriteText(Stream stream, std::string_view utf8) {
  std::FILE* out = stream == Stream::Output ? stdout : stderr;
  if (IsTerminal(stream)) {
    std::fflush(out);
    const std::wstring wide = win32::Utf8ToWide(utf8);
    const HANDLE console = StandardHandle(stream);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD put = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 16 * 1024));
      if (!::WriteConsoleW(console, wide.data() + done, want, &put, nullptr) || put == 0) return;
      done += put;
    }
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), out);
  std::fflush(out);
}

}  // namespace pagimor::proc

#include "platform/win32/path.h"

#include "platform/file.h"
#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/winapi.h"

namespace pagimor::win32 {
namespace {

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::wstring ToWide(std::u16string_view text) { return {text.begin(), text.end()}; }

std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

std::wstring Utf8ToWide(std::string_view text) { return ToWide(Widen(text)); }

std::string WideToUtf8(std::wstring_view text) { return ToUtf8(FromWide(text)); }

std::string SystemErrorText(std::uint32_t code, std::uint16_t language) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const LocalMemory<wchar_t> owned(buffer);
  if (length == 0 || buffer == nullptr) return {};
  return fs::detail::TrimErrorText(WideToUtf8(std::wstring_view(buffer, length)));
}

std::wstring NativePath(std::u16string_view path) {
  std::wstring wide = ToWide(path);
  if (wide.empty() || StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) return wide;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return wide;
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // the size it needs, with its NUL
  }
  // A reserved device name anywhere ("C:\x\NUL") comes back as "\\.\NUL".
  if (StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace pagimor::win32

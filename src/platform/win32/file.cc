// Windows file layer: every call takes the wide path, so a name outside the
// ANSI code page works, and the long form, so no path is cut at 260.
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/path.h"
#include "platform/win32/winapi.h"

namespace pagimor::fs {
namespace {

// One ReadFile or WriteFile moves at most this much; DWORD counts stop at 4 GiB.
constexpr DWORD kMaxTransfer = 1u << 30;
// The buffer of a copy from one file into another.
constexpr std::int64_t kCopyBuffer = 64 * 1024;

ErrorCode LastError() { return static_cast<ErrorCode>(::GetLastError()); }

HANDLE AsHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
NativeHandle FromHandle(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

void CloseFile(NativeHandle& handle) {
  if (handle != kNoHandle) {
    ::CloseHandle(AsHandle(handle));
    handle = kNoHandle;
  }
}

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

// Reads up to size bytes at offset: the count read, 0 at or past the end,
// -1 on failure.
std::int64_t ReadSome(HANDLE file, std::int64_t offset, std::uint8_t* data, std::size_t size) {
  OVERLAPPED at = At(offset);
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min<std::size_t>(size, kMaxTransfer));
  if (!::ReadFile(file, data, want, &got, &at)) {
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return got;
}

// Writes all of data at the file pointer; false with the system's code.
bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size, ErrorCode& error) {
  while (size > 0) {
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(size, kMaxTransfer));
    if (!::WriteFile(file, data, want, &put, nullptr)) {
      error = LastError();
      return false;
    }
    data += put;
    size -= put;
  }
  return true;
}

// The name of a new file beside the target, different on every call.
std::u16string TempNameBeside(std::u16string_view target, unsigned attempt) {
  const std::size_t slash = target.find_last_of(u"\\/");
  const std::size_t cut = slash == std::u16string_view::npos ? 0 : slash + 1;
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  const std::uint64_t mix = static_cast<std::uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15u ^
                            (std::uint64_t{::GetCurrentProcessId()} << 20) ^ attempt;
  static constexpr char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
  std::u16string suffix;
  for (std::uint64_t v = mix, i = 0; i < 6; ++i, v /= 36) suffix.push_back(kDigits[v % 36]);
  std::u16string name(target.substr(0, cut));
  name += u'.';
  name += target.substr(cut);
  name += u".partial-";
  name += suffix;
  return name;
}

}  // namespace

std::string ErrorText(ErrorCode code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const win32::LocalMemory<wchar_t> owned(buffer);
  std::string text = length == 0 ? "Unknown error " + std::to_string(code)
                                 : win32::WideToUtf8(std::wstring_view(buffer, length));
  return detail::TrimErrorText(std::move(text));
}

// --- InputFile ---

InputFile::InputFile(InputFile&& other) noexcept { *this = std::move(other); }

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    CloseFile(fd_);
    std::swap(fd_, other.fd_);
    error_ = other.error_;
  }
  return *this;
}

InputFile::~InputFile() { CloseFile(fd_); }

bool InputFile::Open(std::u16string_view path) {
  CloseFile(fd_);
  // Others may go on reading, nobody may write while the file is read.
  const HANDLE file = ::CreateFileW(win32::NativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  error_ = file == INVALID_HANDLE_VALUE ? LastError() : 0;
  fd_ = FromHandle(file);
  if (file != INVALID_HANDLE_VALUE && ::GetFileType(file) != FILE_TYPE_DISK) {
    // Only files on a disk: a pipe or a device would block or never end.
    error_ = ERROR_INVALID_PARAMETER;
    CloseFile(fd_);
  }
  return is_open();
}

// Windows keeps access rules, not permission bits.
std::optional<unsigned> InputFile::PermissionBits() const { return std::nullopt; }

std::int64_t InputFile::Size() const {
  LARGE_INTEGER size{};
  if (!is_open() || !::GetFileSizeEx(AsHandle(fd_), &size)) return -1;
  return size.QuadPart;
}

std::int64_t InputFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> out) const {
  if (!is_open() || offset < 0) return -1;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::int64_t n = ReadSome(AsHandle(fd_), offset + static_cast<std::int64_t>(done), out.data() + done,
                                    out.size() - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

// --- OutputFile ---

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    CloseFile(fd_);
    std::swap(fd_, other.fd_);
    error_ = other.error_;
    path_ = std::move(other.path_);
  }
  return *this;
}

OutputFile::~OutputFile() { CloseFile(fd_); }

bool OutputFile::Create(std::u16string_view path, unsigned /*mode*/) {
  CloseFile(fd_);
  path_ = path;
  const std::wstring native = win32::NativePath(path);
  // Whatever stands under the name goes first and the file is made new:
  // opening an existing entry would write through a hard link into its
  // other name, or through a link to wherever it points. DeleteFileW
  // removes a link itself and refuses a folder, which is kept.
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    error_ = ERROR_ACCESS_DENIED;  // what creating a file over a folder gives
    return false;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ::RemoveDirectoryW(native.c_str());  // a link to a folder: the link goes, not the folder
    } else {
      ::DeleteFileW(native.c_str());
    }
  }
  // Shared with nobody while it is written.
  const HANDLE file =
      ::CreateFileW(native.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  error_ = file == INVALID_HANDLE_VALUE ? LastError() : 0;
  fd_ = FromHandle(file);
  return is_open();
}

bool OutputFile::CreateTempBeside(std::u16string_view target) {
  CloseFile(fd_);
  // Beside the target, so that the rename stays on one volume.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    path_ = TempNameBeside(target, attempt);
    const HANDLE file = ::CreateFileW(win32::NativePath(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    error_ = file == INVALID_HANDLE_VALUE ? LastError() : 0;
    fd_ = FromHandle(file);
    if (is_open() || (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS)) break;
  }
  return is_open();
}

bool OutputFile::Write(std::span<const std::uint8_t> data) {
  if (!is_open()) return false;
  return WriteAll(AsHandle(fd_), data.data(), data.size(), error_);
}

bool OutputFile::Write(std::string_view data) {
  return Write(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

std::int64_t OutputFile::CopyFrom(const InputFile& source, std::int64_t offset, std::int64_t length) {
  if (!is_open() || !source.is_open() || offset < 0) {
    error_ = ERROR_INVALID_HANDLE;
    return -1;
  }
  const HANDLE out = AsHandle(fd_);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, kCopyBuffer)));
  std::int64_t done = 0;
  while (done < length) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(length - done, kCopyBuffer));
    const std::int64_t got = ReadSome(AsHandle(source.native_handle()), offset + done, buffer.data(), want);
    if (got < 0) {
      error_ = LastError();
      return done > 0 ? done : -1;
    }
    if (got == 0) break;
    LARGE_INTEGER here{};
    ::SetFilePointerEx(out, LARGE_INTEGER{}, &here, FILE_CURRENT);
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got), error_)) {
      // A piece written in part is taken back, so that what the caller was
      // told is what the file holds.
      ::SetFilePointerEx(out, here, nullptr, FILE_BEGIN);
      ::SetEndOfFile(out);
      return done > 0 ? done : -1;
    }
    done += got;
  }
  return done;
}

bool OutputFile::SetMode(unsigned /*mode*/) {
  if (!is_open()) {
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  return true;
}

bool OutputFile::Close() {
  if (!is_open()) return true;
  const bool ok = ::CloseHandle(AsHandle(fd_)) != 0;
  fd_ = kNoHandle;
  if (!ok) error_ = LastError();
  return ok;
}

ErrorCode RenameFile(std::u16string_view from, std::u16string_view to) {
  return ::MoveFileExW(win32::NativePath(from).c_str(), win32::NativePath(to).c_str(), MOVEFILE_REPLACE_EXISTING)
             ? 0
             : LastError();
}

ErrorCode RemoveFile(std::u16string_view path) {
  return ::DeleteFileW(win32::NativePath(path).c_str()) ? 0 : LastError();
}

}  // namespace pagimor::fs

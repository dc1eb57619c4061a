// Windows file layer: every call takes the wide path, so a name outside the
// ANSI code page works, and the long form, so no path is cut at 260.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/path.h"
#include "platform/win32/security.h"
#include "platform/win32/winapi.h"

#include <aclapi.h>

namespace pagimor::fs {
namespace {

// One ReadFile or WriteFile moves at most this much; DWORD counts stop at 4 GiB.
constexpr DWORD kMaxTransfer = 1u << 30;
// The buffer of a copy from one file into another.
constexpr std::int64_t kCopyBuffer = 64 * 1024;

ErrorCode LastError() { return static_cast<ErrorCode>(::GetLastError()); }

HANDLE AsHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
HANDLE AsHandle(const detail::OwnedHandle& handle) { return AsHandle(handle.get()); }
NativeHandle FromHandle(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

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
  name += detail::PartialStem(target.substr(cut));
  name += u".partial-";
  name += suffix;
  return name;
}

// 0 when the entry at native, which exists, has the name the path asks for
// (in any case, as the system compares names); ERROR_ALREADY_EXISTS when
// the path reaches it only through its short alias; the system's code when
// its name cannot be read.
ErrorCode NamedAsAsked(const std::wstring& native) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(native.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return LastError();
  ::FindClose(search);
  const std::wstring_view asked = std::wstring_view(native).substr(native.find_last_of(L'\\') + 1);
  const bool same = ::CompareStringOrdinal(found.cFileName, -1, asked.data(), static_cast<int>(asked.size()), TRUE) ==
                    CSTR_EQUAL;
  return same ? 0 : ERROR_ALREADY_EXISTS;
}

}  // namespace

bool detail::CloseNativeHandle(NativeHandle handle) { return ::CloseHandle(AsHandle(handle)) != 0; }

std::string ErrorText(ErrorCode code) {
  std::string text = win32::SystemErrorText(static_cast<std::uint32_t>(code));
  return text.empty() ? "Unknown error " + std::to_string(code) : text;
}

// --- InputFile ---

bool InputFile::Open(std::u16string_view path) {
  handle_.Reset();
  // Others may go on reading, nobody may write while the file is read.
  const HANDLE file = ::CreateFileW(win32::NativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  error_ = file == INVALID_HANDLE_VALUE ? LastError() : 0;
  handle_.Reset(FromHandle(file));
  if (file != INVALID_HANDLE_VALUE && ::GetFileType(file) != FILE_TYPE_DISK) {
    // Only files on a disk: a pipe or a device would block or never end.
    error_ = ERROR_INVALID_PARAMETER;
    handle_.Reset();
  }
  return is_open();
}

// Windows keeps access rules, not permission bits.
std::optional<unsigned> InputFile::PermissionBits() const { return std::nullopt; }

std::int64_t InputFile::Size() const {
  LARGE_INTEGER size{};
  if (!is_open() || !::GetFileSizeEx(AsHandle(handle_), &size)) return -1;
  return size.QuadPart;
}

std::int64_t InputFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> out) const {
  if (!is_open() || offset < 0) return -1;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::int64_t n = ReadSome(AsHandle(handle_), offset + static_cast<std::int64_t>(done), out.data() + done,
                                    out.size() - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

// --- OutputFile ---

bool OutputFile::Create(std::u16string_view path, unsigned /*mode*/) {
  handle_.Reset();
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
    // A name may reach another file through that file's short alias: a
    // book's "LONG~YQ3.HTM" is the "longfilename.htm" written before it.
    // That file is kept, and this one is not made.
    const ErrorCode named = NamedAsAsked(native);
    if (named != 0) {
      error_ = named;
      return false;
    }
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? ::RemoveDirectoryW(native.c_str())  // a link to a folder: the link goes, not the folder
                             : ::DeleteFileW(native.c_str());
    if (!removed) {
      error_ = LastError();
      return false;
    }
  }
  // Shared with nobody while it is written.
  const HANDLE file =
      ::CreateFileW(native.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  error_ = file == INVALID_HANDLE_VALUE ? LastError() : 0;
  handle_.Reset(FromHandle(file));
  return is_open();
}

bool OutputFile::CreateIn(const Folder& folder, std::u16string_view name, unsigned mode) {
  if (!folder.is_open()) {
    handle_.Reset();
    path_ = JoinPath(folder.path(), name);
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  // The folder is held open without sharing its deletion, so that nobody
  // can rename or remove it meanwhile: its path still names it.
  return Create(JoinPath(folder.path(), name), mode);
}

bool OutputFile::CreateTempBeside(std::u16string_view target) {
  handle_.Reset();
  // Beside the target, so that the rename stays on one volume.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    path_ = TempNameBeside(target, attempt);
    const HANDLE file = ::CreateFileW(win32::NativePath(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    error_ = file == INVALID_HANDLE_VALUE ? LastError() : 0;
    handle_.Reset(FromHandle(file));
    if (is_open() || (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS)) break;
  }
  return is_open();
}

// A writer still at work has its file open to nobody else, so that the
// deletion fails for it; a killed one's file is closed and goes.
void RemoveStalePartials(std::u16string_view target) {
  const std::size_t slash = target.find_last_of(u"\\/");
  const std::size_t cut = slash == std::u16string_view::npos ? 0 : slash + 1;
  const std::u16string folder(target.substr(0, cut));
  const std::u16string stem = detail::PartialStem(target.substr(cut));
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      ::FindFirstFileW(win32::NativePath(folder + u"." + stem + u".partial-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::u16string name = win32::FromWide(found.cFileName);
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        !detail::IsPartialOf(std::u16string_view(name), std::u16string_view(stem))) {
      continue;
    }
    ::DeleteFileW(win32::NativePath(folder + name).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

bool OutputFile::Write(std::span<const std::uint8_t> data) {
  if (!is_open()) return false;
  return WriteAll(AsHandle(handle_), data.data(), data.size(), error_);
}

std::int64_t OutputFile::CopyFrom(const InputFile& source, std::int64_t offset, std::int64_t length) {
  if (!is_open() || !source.is_open() || offset < 0) {
    error_ = ERROR_INVALID_HANDLE;
    return -1;
  }
  const HANDLE out = AsHandle(handle_);
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
  const bool closed = handle_.Close();
  if (!closed) error_ = LastError();
  return closed;
}

ErrorCode RenameFile(std::u16string_view from, std::u16string_view to) {
  return ::MoveFileExW(win32::NativePath(from).c_str(), win32::NativePath(to).c_str(), MOVEFILE_REPLACE_EXISTING)
             ? 0
             : LastError();
}

ErrorCode RemoveFile(std::u16string_view path) {
  return ::DeleteFileW(win32::NativePath(path).c_str()) ? 0 : LastError();
}

ErrorCode CreatePrivateFolder(std::u16string_view path) {
  win32::OwnerOnlySecurity security;
  return ::CreateDirectoryW(win32::NativePath(path).c_str(), security.attributes()) ? 0 : LastError();
}

ErrorCode RemoveEmptyFolder(std::u16string_view path) {
  return ::RemoveDirectoryW(win32::NativePath(path).c_str()) ? 0 : LastError();
}

bool IsFile(std::u16string_view path) {
  const DWORD attributes = ::GetFileAttributesW(win32::NativePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// --- Folder ---
//
// The folder is held open by a handle that lets others read, write and
// delete, so that it keeps nobody out. The lock is a second opening that
// asks for the right to add files to the folder (a write, to the system's
// sharing rules) and shares only reading: while it is held, no other run
// can take the lock, and nobody can remove or rename the folder (which asks
// for deletion), so its path keeps naming it and the entries can be reached
// through the path. Anyone may still list the folder and make or remove
// files in it; what is refused besides is opening the folder itself for
// writing, which a rename into the folder does on Windows. A lock asking
// for deletion instead would also keep out Wine's listing, which shares
// no deletion.

namespace {

// Open directories: listing, attributes and the security that names the owner.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Reparse points (links, junctions) are opened as themselves, never followed.
constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The folder's identity on its volume.
bool SameFolder(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

EntryKind KindOf(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::Other;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
  return EntryKind::File;
}

// Why an opened handle cannot stand for a folder of ours: it is no folder,
// or a reparse point (a junction or a link) that leads elsewhere; 0 when it
// is a plain folder.
ErrorCode PlainFolderProblem(HANDLE folder) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(folder, &info)) return LastError();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_ACCESS_FILE;
  return 0;
}

}  // namespace

bool Folder::Open(std::u16string_view path) {
  handle_.Reset();
  // A trailing separator lets a link stand in the folder's place (a
  // temporary directory may be one): it is followed then.
  const bool followLink = !path.empty() && IsSeparator(path.back());
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != u':') path.remove_suffix(1);
  path_ = path;
  const HANDLE folder =
      ::CreateFileW(win32::NativePath(path_).c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                    followLink ? FILE_FLAG_BACKUP_SEMANTICS : kFolderFlags, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    error_ = LastError();
    return false;
  }
  handle_.Reset(FromHandle(folder));
  error_ = PlainFolderProblem(folder);
  if (error_ == 0) return true;
  handle_.Reset();
  return false;
}

bool Folder::OpenIn(const Folder& parent, std::u16string_view name) {
  handle_.Reset();
  path_ = JoinPath(parent.path_, name);
  if (!parent.is_open()) {
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  const std::wstring native = win32::NativePath(path_);
  // Deletion is not shared: while it is open the folder cannot be renamed,
  // removed or put in a junction's place.
  const HANDLE folder = ::CreateFileW(native.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, kFolderFlags, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    error_ = LastError();
    return false;
  }
  handle_.Reset(FromHandle(folder));
  error_ = PlainFolderProblem(folder);
  // A name that reaches another folder only through its short alias
  // ("LONGFO~1") is refused, as it is for files.
  if (error_ == 0) error_ = NamedAsAsked(native);
  if (error_ == 0) return true;
  handle_.Reset();
  return false;
}

ErrorCode Folder::MakeFolder(std::u16string_view name, Folder& child, unsigned /*mode*/) const {
  if (!is_open()) return ERROR_INVALID_HANDLE;
  if (!::CreateDirectoryW(win32::NativePath(JoinPath(path_, name)).c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return LastError();
  }
  // Whatever stands there now is opened only when it is a folder itself.
  return child.OpenIn(*this, name) ? 0 : child.error();
}

ErrorCode Folder::RemoveFolderEntry(std::u16string_view name) const {
  if (!is_open()) return ERROR_INVALID_HANDLE;
  return ::RemoveDirectoryW(win32::NativePath(JoinPath(path_, name)).c_str()) ? 0 : LastError();
}

bool Folder::OwnedByUser() const {
  if (!is_open()) return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(AsHandle(handle_), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const win32::LocalMemory<void> owned(descriptor);
  const win32::TokenIdentity me = win32::CurrentIdentity();
  // What this user makes is owned by the user, or by the owner the token
  // gives new objects (Administrators, for an administrator).
  return owner != nullptr && ((me.UserSid() != nullptr && ::EqualSid(owner, me.UserSid())) ||
                              (me.OwnerSid() != nullptr && ::EqualSid(owner, me.OwnerSid())));
}

std::vector<FolderEntry> Folder::Entries() const {
  std::vector<FolderEntry> entries;
  if (!is_open()) return entries;
  // Listed through the handle: the folder held, whatever the path names
  // now, and no second opening that the lock's sharing would refuse.
  alignas(FILE_FULL_DIR_INFO) std::uint8_t buffer[16 * 1024];
  FILE_INFO_BY_HANDLE_CLASS what = FileFullDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(AsHandle(handle_), what, buffer, sizeof buffer)) {
    what = FileFullDirectoryInfo;
    for (std::size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer + at);
      const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") entries.push_back({win32::FromWide(name), KindOf(info->FileAttributes)});
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
  return entries;
}

ErrorCode Folder::RemoveEntry(std::u16string_view name) const {
  if (!is_open()) return ERROR_INVALID_HANDLE;
  if (name.empty() || name == u"." || name == u".." ||
      std::any_of(name.begin(), name.end(), [](char16_t c) { return IsSeparator(c) || c == u':'; })) {
    return ERROR_INVALID_NAME;
  }
  const std::wstring path = win32::NativePath(JoinPath(path_, name));
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  // A link to a folder is removed as the folder entry it is; its target
  // is never entered.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return ERROR_DIRECTORY;
    return ::RemoveDirectoryW(path.c_str()) ? 0 : LastError();
  }
  if (::DeleteFileW(path.c_str())) return 0;
  const ErrorCode error = LastError();
  // A read-only file in the book's own folder goes too, as it would on POSIX.
  if (error != ERROR_ACCESS_DENIED || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      !::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
    return error;
  }
  if (::DeleteFileW(path.c_str())) return 0;
  const ErrorCode again = LastError();
  ::SetFileAttributesW(path.c_str(), attributes);
  return again;
}

bool Folder::TryLock() {
  if (!is_open()) {
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  detail::OwnedHandle lock(FromHandle(::CreateFileW(win32::NativePath(path_).c_str(), kFolderAccess | FILE_ADD_FILE,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, kFolderFlags, nullptr)));
  if (!lock.valid()) {
    error_ = LastError();
    return false;
  }
  // Whoever removed the folder before we held it may have let another stand
  // under its name since: the lock counts only for the folder still there.
  if (!SameFolder(AsHandle(handle_), AsHandle(lock))) {
    error_ = ERROR_FILE_NOT_FOUND;
    return false;
  }
  handle_ = std::move(lock);
  error_ = 0;
  return true;
}

void Folder::Close() { handle_.Reset(); }

}  // namespace pagimor::fs

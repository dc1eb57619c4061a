// POSIX file layer: paths are turned from UTF-16 into the bytes the system
// takes at the edge, without loss (PathToBytes).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/file.h"
#include "platform/text.h"

namespace pagimor::fs {
namespace {

std::string Native(std::u16string_view path) { return PathToBytes(path); }

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  return EntryKind::Other;
}

}  // namespace

// A close that fails is not tried again: on Linux the descriptor is gone
// whatever close says.
bool detail::CloseNativeHandle(NativeHandle handle) { return ::close(handle) == 0; }

std::string ErrorText(ErrorCode code) {
  char buffer[256];
  // The GNU variant returns a pointer that may or may not be the buffer.
  std::string text = strerror_r(code, buffer, sizeof buffer);
  return detail::TrimErrorText(std::move(text));
}

// --- InputFile ---

bool InputFile::Open(std::u16string_view path) {
  handle_.Reset();
  // A FIFO or a device is not even opened: opening a FIFO waits for a
  // writer. One that takes the name's place meanwhile cannot hold the open
  // up either, and is refused below.
  struct stat named {};
  if (::stat(Native(path).c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
    error_ = S_ISDIR(named.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  handle_.Reset(::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  error_ = is_open() ? 0 : errno;
  if (is_open()) {
    // Only regular files: a FIFO or a device would block or never end.
    struct stat st {};
    if (::fstat(handle_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      handle_.Reset();
    }
  }
  return is_open();
}

std::optional<unsigned> InputFile::PermissionBits() const {
  struct stat st {};
  if (!is_open() || ::fstat(handle_.get(), &st) != 0) return std::nullopt;
  return static_cast<unsigned>(st.st_mode) & 07777u;
}

std::int64_t InputFile::Size() const {
  struct stat st {};
  if (!is_open() || ::fstat(handle_.get(), &st) != 0) return -1;
  return st.st_size;
}

std::int64_t InputFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> out) const {
  if (!is_open() || offset < 0) return -1;
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(handle_.get(), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

// --- OutputFile ---

bool OutputFile::Create(std::u16string_view path, unsigned mode) {
  handle_.Reset();
  path_ = path;
  const std::string native = Native(path);
  // Whatever stands under the name goes first and the file is made new:
  // opening an existing entry would write through a hard link into its
  // other name, or wait on a FIFO. unlink never follows a link and refuses
  // a folder, which is kept.
  if (::unlink(native.c_str()) != 0 && errno != ENOENT) {
    error_ = errno;
    return false;
  }
  handle_.Reset(::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, static_cast<mode_t>(mode)));
  error_ = is_open() ? 0 : errno;
  return is_open();
}

bool OutputFile::CreateIn(const Folder& folder, std::u16string_view name, unsigned mode) {
  handle_.Reset();
  path_ = JoinPath(folder.path(), name);
  if (!folder.is_open()) {
    error_ = EBADF;
    return false;
  }
  const std::string native = Native(name);
  // As in Create: whatever stands under the name goes first, never followed.
  if (::unlinkat(folder.native_handle(), native.c_str(), 0) != 0 && errno != ENOENT) {
    error_ = errno;
    return false;
  }
  handle_.Reset(::openat(folder.native_handle(), native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                         static_cast<mode_t>(mode)));
  error_ = is_open() ? 0 : errno;
  return is_open();
}

bool OutputFile::CreateTempBeside(std::u16string_view target) {
  handle_.Reset();
  // A hidden name in the target's folder, so the rename stays on one file system.
  const std::string full = Native(target);
  const auto slash = full.rfind('/');
  const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
  std::string name =
      full.substr(0, cut) + "." + detail::PartialStem(std::string_view(full).substr(cut)) + ".partial-XXXXXX";
  handle_.Reset(::mkostemp(name.data(), O_CLOEXEC));
  error_ = is_open() ? 0 : errno;
  // Ours alone from the start; nobody else has it open yet to hold it.
  if (is_open()) ::flock(handle_.get(), LOCK_EX | LOCK_NB);
  path_ = PathFromBytes(name);
  return is_open();
}

void RemoveStalePartials(std::u16string_view target) {
  const std::string full = Native(target);
  const auto slash = full.rfind('/');
  const std::string folderPath = slash == std::string::npos ? "." : (slash == 0 ? "/" : full.substr(0, slash));
  const std::string stem = detail::PartialStem(std::string_view(full).substr(slash == std::string::npos ? 0 : slash + 1));
  const detail::OwnedHandle listed(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listed.valid()) return;
  const int dirfd = listed.get();
  detail::OwnedHandle copy(::dup(dirfd));
  const DirHandle dir{copy.valid() ? ::fdopendir(copy.get()) : nullptr};
  if (!dir) return;
  (void)copy.Release();  // the listing closes it now
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!detail::IsPartialOf(std::string_view(entry->d_name), stem)) continue;
    // Never a link, nor anything but a file of this user; a writer still
    // at work holds its lock.
    const detail::OwnedHandle file(::openat(dirfd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held {};
    struct stat named {};
    if (!file.valid() || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != ::geteuid() ||
        ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
      continue;
    }
    if (::fstatat(dirfd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
      ::unlinkat(dirfd, entry->d_name, 0);
    }
  }
}

bool OutputFile::Write(std::span<const std::uint8_t> data) {
  if (!is_open()) return false;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(handle_.get(), data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t OutputFile::CopyFrom(const InputFile& source, std::int64_t offset, std::int64_t length) {
  if (!is_open() || !source.is_open() || offset < 0) {
    error_ = EBADF;
    return -1;
  }
  const int out = handle_.get();
  std::int64_t done = 0;
  off_t in = static_cast<off_t>(offset);
  bool use_sendfile = false;
  while (done < length) {
    const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(length - done, 1 << 30));
    ssize_t n = 0;
    if (!use_sendfile) {
      n = ::copy_file_range(source.native_handle(), &in, out, nullptr, chunk, 0);
      if (n < 0 && done == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        use_sendfile = true;
        continue;
      }
    } else {
      n = ::sendfile(out, source.native_handle(), &in, chunk);
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool OutputFile::SetMode(unsigned mode) {
  if (!is_open() || ::fchmod(handle_.get(), static_cast<mode_t>(mode)) != 0) {
    error_ = is_open() ? errno : EBADF;
    return false;
  }
  return true;
}

bool OutputFile::Close() {
  const bool closed = handle_.Close();
  if (!closed) error_ = errno;
  return closed;
}

ErrorCode RenameFile(std::u16string_view from, std::u16string_view to) {
  return ::rename(Native(from).c_str(), Native(to).c_str()) == 0 ? 0 : errno;
}

ErrorCode RemoveFile(std::u16string_view path) {
  return ::unlink(Native(path).c_str()) == 0 ? 0 : errno;
}

ErrorCode CreatePrivateFolder(std::u16string_view path) {
  return ::mkdir(Native(path).c_str(), 0700) == 0 ? 0 : errno;
}

ErrorCode RemoveEmptyFolder(std::u16string_view path) {
  return ::rmdir(Native(path).c_str()) == 0 ? 0 : errno;
}

bool IsFile(std::u16string_view path) {
  struct stat info {};
  return ::stat(Native(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// --- Folder ---

bool Folder::Open(std::u16string_view path) {
  path_ = path;
  handle_.Reset(::open(Native(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  error_ = is_open() ? 0 : errno;
  return is_open();
}

bool Folder::OpenIn(const Folder& parent, std::u16string_view name) {
  handle_.Reset();
  path_ = JoinPath(parent.path_, name);
  if (!parent.is_open()) {
    error_ = EBADF;
    return false;
  }
  handle_.Reset(::openat(parent.handle_.get(), Native(name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  error_ = is_open() ? 0 : errno;
  return is_open();
}

ErrorCode Folder::MakeFolder(std::u16string_view name, Folder& child, unsigned mode) const {
  if (!is_open()) return EBADF;
  if (::mkdirat(handle_.get(), Native(name).c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return errno;
  // Whatever stands there now is opened only when it is a folder itself.
  return child.OpenIn(*this, name) ? 0 : child.error();
}

ErrorCode Folder::RemoveFolderEntry(std::u16string_view name) const {
  if (!is_open()) return EBADF;
  return ::unlinkat(handle_.get(), Native(name).c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

bool Folder::OwnedByUser() const {
  struct stat info {};
  return is_open() && ::fstat(handle_.get(), &info) == 0 && info.st_uid == ::geteuid();
}

std::vector<FolderEntry> Folder::Entries() const {
  std::vector<FolderEntry> entries;
  // The listing takes a descriptor of its own, so that this one stays.
  if (!is_open()) return entries;
  detail::OwnedHandle listed(::openat(handle_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listed.valid()) return entries;
  const DirHandle dir{::fdopendir(listed.get())};
  if (!dir) return entries;
  (void)listed.Release();  // the listing closes it now
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    const EntryKind kind = ::fstatat(handle_.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
                               ? KindOf(info.st_mode)
                               : EntryKind::Other;
    entries.push_back({PathFromBytes(name), kind});
  }
  return entries;
}

ErrorCode Folder::RemoveEntry(std::u16string_view name) const {
  if (!is_open()) return EBADF;
  return ::unlinkat(handle_.get(), Native(name).c_str(), 0) == 0 ? 0 : errno;
}

bool Folder::TryLock() {
  if (!is_open()) {
    error_ = EBADF;
    return false;
  }
  while (::flock(handle_.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    error_ = errno;
    return false;
  }
  // Whoever removed the folder before we held it may have let another stand
  // under its name since: the lock counts only for the folder still there.
  struct stat held {};
  struct stat named {};
  if (::fstat(handle_.get(), &held) != 0 || ::lstat(Native(path_).c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
    error_ = ENOENT;
    ::flock(handle_.get(), LOCK_UN);
    return false;
  }
  return true;
}

void Folder::Close() { handle_.Reset(); }

}  // namespace pagimor::fs

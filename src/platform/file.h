#pragma once
// The file operations that the archive reader, the book folder and the packer
// need, behind one small interface so that each platform supplies its own.
// Every handle closes itself; nothing here keeps state between objects.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pagimor::fs {

// An error code of the system (errno on POSIX, GetLastError() on Windows);
// 0 means success.
using ErrorCode = int;

// What the system opens a file as: a descriptor on POSIX, a HANDLE on
// Windows (held as its integer value, so that no system header comes in).
#if defined(_WIN32)
using NativeHandle = std::intptr_t;
#else
using NativeHandle = int;
#endif
// No file; INVALID_HANDLE_VALUE on Windows.
inline constexpr NativeHandle kNoHandle = -1;

// The system's text for an error code, without trailing blanks, line breaks
// or full stops.
std::string ErrorText(ErrorCode code);

namespace detail {
// The system's text as ErrorText gives it: its trailing blanks, line breaks
// and full stops cut off.
std::string TrimErrorText(std::string text);

// Closes a handle with the system's call for it; false when the system
// reported a failure (on POSIX with errno, on Windows GetLastError()).
bool CloseNativeHandle(NativeHandle handle);

// The one owner of an open file or folder: closes it once, when the owner
// goes or is given another; a moved-from owner holds none.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(NativeHandle handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.Release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~OwnedHandle() { Close(); }

  [[nodiscard]] NativeHandle get() const { return handle_; }
  [[nodiscard]] bool valid() const { return handle_ != kNoHandle; }
  // Closes the handle held and takes this one, or none.
  void Reset(NativeHandle handle = kNoHandle) {
    Close();
    handle_ = handle;
  }
  // Gives the handle up without closing it.
  [[nodiscard]] NativeHandle Release() { return std::exchange(handle_, kNoHandle); }
  // Closes the handle; false when the system reported a failure (a write
  // that never reached the disk). None is held afterwards either way.
  bool Close() { return handle_ == kNoHandle || CloseNativeHandle(Release()); }

 private:
  NativeHandle handle_ = kNoHandle;
};
}  // namespace detail

// The platform's path separator.
#if defined(_WIN32)
inline constexpr char16_t kSeparator = u'\\';
#else
inline constexpr char16_t kSeparator = u'/';
#endif

// Joins a folder and a name with the platform's separator.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// A file opened for reading; others may read it too.
class InputFile {
 public:
  InputFile() = default;
  explicit InputFile(std::u16string_view path) { Open(path); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  InputFile(InputFile&& other) noexcept = default;
  InputFile& operator=(InputFile&& other) noexcept = default;
  ~InputFile() = default;

  // Opens the file; on failure is_open() is false and error() says why.
  bool Open(std::u16string_view path);
  [[nodiscard]] bool is_open() const { return handle_.valid(); }
  [[nodiscard]] ErrorCode error() const { return error_; }
  [[nodiscard]] NativeHandle native_handle() const { return handle_.get(); }
  // The file's POSIX permission bits; nothing where the system keeps
  // access rules instead (Windows), or when they cannot be read.
  [[nodiscard]] std::optional<unsigned> PermissionBits() const;

  // The file's size in bytes, or -1 when it cannot be read.
  [[nodiscard]] std::int64_t Size() const;

  // Reads up to out.size() bytes at offset; returns the count read (0 at the
  // end of the file) or -1 on failure.
  std::int64_t ReadAt(std::int64_t offset, std::span<std::uint8_t> out) const;

 private:
  detail::OwnedHandle handle_;
  ErrorCode error_ = 0;
};

class Folder;

// A file created for writing, replacing any file of that name, open to nobody
// else on systems that can say so.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&& other) noexcept = default;
  OutputFile& operator=(OutputFile&& other) noexcept = default;
  ~OutputFile() = default;

  // Makes a new file at path with the given permission bits. Whatever else
  // stands under the name (a file, a link, a FIFO) is removed first, never
  // opened or followed; a folder of that name is refused (EISDIR, on
  // Windows ERROR_ACCESS_DENIED). On Windows a name that reaches another
  // file only as that file's short alias ("LONGFI~1.HTM") is refused
  // (ERROR_ALREADY_EXISTS) and the other file kept. The mode bits are POSIX
  // ones; on Windows the file takes its folder's access rules.
  bool Create(std::u16string_view path, unsigned mode = 0600);
  // The same for the file called name directly inside folder, which is
  // reached through the folder held open, never through its path again.
  bool CreateIn(const Folder& folder, std::u16string_view name, unsigned mode = 0600);
  // Creates a new, uniquely named, hidden file beside `target` (for a later
  // rename): "." + the target's name + ".partial-" + six random letters or
  // digits, the name shortened with a digest of the whole where that would
  // not fit in a file name, so that it fits wherever the target fits. On
  // POSIX the file holds an advisory lock until it is closed, which tells
  // RemoveStalePartials that its writer is alive; on Windows it is open to
  // nobody else, which does the same.
  bool CreateTempBeside(std::u16string_view target);

  [[nodiscard]] bool is_open() const { return handle_.valid(); }
  [[nodiscard]] ErrorCode error() const { return error_; }
  [[nodiscard]] const std::u16string& path() const { return path_; }

  // Writes all of data; false (with error()) when it could not.
  bool Write(std::span<const std::uint8_t> data);
  bool Write(std::string_view data);

  // Copies length bytes of source from offset inside the kernel where the
  // system can; returns the count copied (less at the source's end) or -1
  // when the kernel copy is not available or failed, with error() set, in
  // which case nothing of the failed call was written. Windows has no such
  // copy between two files: there it goes through one buffer of its own.
  std::int64_t CopyFrom(const InputFile& source, std::int64_t offset, std::int64_t length);

  // POSIX permission bits; does nothing on Windows.
  bool SetMode(unsigned mode);
  // Closes the file, reporting a failure of the last writes.
  bool Close();

 private:
  detail::OwnedHandle handle_;
  ErrorCode error_ = 0;
  std::u16string path_;
};

// Removes the files that CreateTempBeside made for target in runs that were
// killed before they could remove them: only names of that pattern for
// this exact target, only files of the user, only those no live writer
// holds. What cannot be removed stays, silently.
void RemoveStalePartials(std::u16string_view target);

namespace detail {
// The target's name as the temporary name carries it, in the system's code
// units: whole when the temporary name fits in 255 of them, else cut, with
// "~" and a digest of the whole name after it.
std::string PartialStem(std::string_view name);
std::u16string PartialStem(std::u16string_view name);
// What follows the stem: ".partial-" and then six letters or digits.
inline constexpr std::string_view kPartialMark = ".partial-";
inline constexpr std::size_t kPartialRandomLength = 6;
// True when name is "." + stem + ".partial-" + six letters or digits.
bool IsPartialOf(std::u16string_view name, std::u16string_view stem);
bool IsPartialOf(std::string_view name, std::string_view stem);
}  // namespace detail
// Makes the file at path, whose components are joined by '/', inside root:
// every folder on the way is made inside the one above with folderMode (see
// Folder::MakeFolder) and reached only through it, so that a link or a
// junction put anywhere on the way is refused, never followed. Each
// component must be a plain name; the caller has judged them. 0, with out
// open, or the system's code.
ErrorCode CreateInTree(const Folder& root, std::u16string_view path, OutputFile& out, unsigned fileMode = 0600,
                       unsigned folderMode = 0700);

// Removes the file at path inside root, reached as CreateInTree reaches it:
// never through a link. 0 or the system's code.
ErrorCode RemoveInTree(const Folder& root, std::u16string_view path);

// Renames from to to, replacing to.
ErrorCode RenameFile(std::u16string_view from, std::u16string_view to);
ErrorCode RemoveFile(std::u16string_view path);

// Creates a folder that only its owner may enter; 0 or the system's code.
ErrorCode CreatePrivateFolder(std::u16string_view path);
// Removes a folder, which succeeds only when it is empty.
ErrorCode RemoveEmptyFolder(std::u16string_view path);
// True when a file, not a folder, stands at path.
bool IsFile(std::u16string_view path);

// What stands under a name in a folder. A link is Other, whatever it points
// to: nothing that walks a folder may be led out of it.
enum class EntryKind { File, Folder, Other };

struct FolderEntry {
  std::u16string name;
  EntryKind kind = EntryKind::Other;
};

// An open folder: its entries, the removal of what stands in it, and an
// advisory lock that says a live program is using it. The lock lasts until
// Close() or the object goes, and with the process: a killed program's
// folders are free again.
class Folder {
 public:
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  Folder(Folder&& other) noexcept = default;
  Folder& operator=(Folder&& other) noexcept = default;
  ~Folder() = default;

  // Opens the folder at path. A link in its place is refused, unless the
  // path ends with a separator (a temporary directory may be a link).
  bool Open(std::u16string_view path);
  [[nodiscard]] bool is_open() const { return handle_.valid(); }
  [[nodiscard]] ErrorCode error() const { return error_; }
  [[nodiscard]] NativeHandle native_handle() const { return handle_.get(); }
  // The path the folder was opened under, for messages and, on Windows,
  // for the calls that take a path.
  [[nodiscard]] const std::u16string& path() const { return path_; }

  // Opens the folder called name directly inside parent, reached through
  // parent held open. A link in its place is refused, and on Windows a
  // junction, or a name that reaches another folder only through that
  // folder's short alias.
  bool OpenIn(const Folder& parent, std::u16string_view name);
  // Makes the folder called name directly inside this one unless a folder
  // stands there already, then opens it into child as OpenIn does. The mode
  // is POSIX bits, less the umask; on Windows the folder takes the access
  // rules its parent passes on, which in a book folder are its owner's
  // alone. 0 or the system's code.
  ErrorCode MakeFolder(std::u16string_view name, Folder& child, unsigned mode = 0700) const;
  // Removes the empty folder called name directly inside this one; a link
  // of that name is never followed.
  ErrorCode RemoveFolderEntry(std::u16string_view name) const;

  // True when the folder belongs to the user the program runs as.
  [[nodiscard]] bool OwnedByUser() const;
  // Every entry but "." and ".."; none when they cannot be read.
  [[nodiscard]] std::vector<FolderEntry> Entries() const;
  // Deletes the file or link called name directly inside this folder.
  ErrorCode RemoveEntry(std::u16string_view name) const;

  // Takes the lock without waiting; false when another holder has it, or
  // when the path opened no longer names this folder (it was removed, or
  // replaced, before the lock was taken); error() says which. On some
  // systems a held lock keeps the folder itself from being removed: Close()
  // before RemoveEmptyFolder.
  bool TryLock();

  // Gives up the lock and the folder.
  void Close();

 private:
  detail::OwnedHandle handle_;
  ErrorCode error_ = 0;
  std::u16string path_;
};

}  // namespace pagimor::fs

#include "paths.h"

#include <system_error>

#include "platform/file.h"
#include "platform/text.h"

#if defined(_WIN32)
#include "platform/win32/path.h"
#endif

namespace pagimor::pack {

namespace stdfs = std::filesystem;

#if defined(_WIN32)

stdfs::path ToPath(const std::string& utf8) { return stdfs::path(win32::Utf8ToWide(utf8)); }
stdfs::path ToPath(std::u16string_view path) { return stdfs::path(win32::ToWide(path)); }
std::string PathText(const stdfs::path& path) { return win32::WideToUtf8(path.native()); }
std::u16string FilePath(const stdfs::path& path) { return win32::FromWide(path.native()); }

#else

// A POSIX path is bytes; those that are not UTF-8 are kept as they are, on
// their way into the file layer's UTF-16 paths too.
stdfs::path ToPath(const std::string& utf8) { return stdfs::path(utf8); }
stdfs::path ToPath(std::u16string_view path) { return stdfs::path(PathToBytes(path)); }
std::string PathText(const stdfs::path& path) { return path.native(); }
std::u16string FilePath(const stdfs::path& path) { return PathFromBytes(path.native()); }

#endif

std::string OpenProblem(const std::string& utf8, int error) {
  std::error_code ec;
  const stdfs::file_status status = stdfs::status(ToPath(utf8), ec);
  if (stdfs::is_directory(status)) return "is a folder";
  if (stdfs::exists(status) && !stdfs::is_regular_file(status)) return "is not a regular file";
  return fs::ErrorText(error);
}

}  // namespace pagimor::pack

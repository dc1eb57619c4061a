#pragma once
// The packer takes its paths as UTF-8 text: the command line's bytes on
// POSIX, the wide command line converted on Windows. These turn that text
// into the paths the standard library and the file layer take, and back
// into text for messages. On Windows std::filesystem paths are wide, and
// their narrow forms are in the ANSI code page, never UTF-8: nothing here
// goes through those.

#include <filesystem>
#include <string>
#include <string_view>

namespace pagimor::pack {

std::filesystem::path ToPath(const std::string& utf8);
std::filesystem::path ToPath(std::u16string_view path);

// The path as UTF-8 text; on Windows a lone surrogate becomes U+FFFD.
std::string PathText(const std::filesystem::path& path);

// The path as the file layer takes it.
std::u16string FilePath(const std::filesystem::path& path);

// Why the file layer could not open a file for reading: a FIFO, a device
// or a folder is named as such, anything else by the system's text.
std::string OpenProblem(const std::string& utf8, int error);

}  // namespace pagimor::pack

#pragma once
// Which viewer goes into a book: the system the book is for, where the
// packer finds that system's viewer, and whether a file is a Pagimor viewer
// at all.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace pagimor::pack {

enum class System { Linux, Windows };

// The system this packer runs on.
System OwnSystem();
// "Linux" or "Windows", as messages name them.
std::string_view SystemName(System system);
// "linux" or "windows" as --for takes them, in any letter case.
std::optional<System> ParseSystem(std::string_view text);
// The viewer's file name: "pagimor" or "pagimor.exe".
std::string_view ViewerFileName(System system);

// A book's file name when none is given: FOLDER's name as given, or the
// folder's own name when it is given as "." or "..", with the ending a
// program has on `system` (.run, .exe). Preview names its book so too, so
// that the running book is recognisable in a process list.
std::string DefaultBookName(const std::string& folder, System system);

// Where a packer whose own file lies in `ownFolder` looks for the viewer for
// `system`, in this order:
//  1. ../lib/pagimor/ from its folder: where the packages install it;
//  2. its own folder: the Windows download, and a build folder for its own
//     system;
//  3. only when its folder is a build folder (it holds CMakeCache.txt), the
//     build folders beside it: win64 (else win64-release) for Windows,
//     release (else default) for Linux.
std::vector<std::filesystem::path> ViewerPlaces(const std::filesystem::path& ownFolder, System system);

// The first of the places that holds a file, or nothing after a message
// that says where it looked and how to get the viewer.
std::optional<std::string> FindViewer(System system);

// The system a Pagimor viewer is for; nothing after a message naming
// `path` when the file is not one. A viewer is a program of either system
// (ELF or MZ) that holds the viewer's own tag; signing leaves both in place.
std::optional<System> CheckViewer(const fs::InputFile& viewer, const std::string& path);

// The permission bits of a book: runnable by everyone the umask allows,
// whatever the bits of the viewer file it was made from.
unsigned BookMode();

}  // namespace pagimor::pack

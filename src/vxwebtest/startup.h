#pragma once
// The program's run from start to end: the version gate, the archive in the
// program's own file, the book folder, the extraction behind the loading
// window, the viewer window, and the removal of the folder.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "vxwebtest/archive.h"
#include "windows/forms.h"

namespace pagimor {

// Full path of the running program, the container of its book archive.
extern std::u16string ExePath;

// Set when an entry's name cannot be decoded or cannot stand inside the
// book folder; the extraction stops when it finds it set.
extern bool AbortExtraction;

inline constexpr std::string_view kApplicationTitle = "EBook";
inline constexpr std::string_view kLoadingStatusText = "Loading Pagimor... Please wait...";
inline constexpr std::string_view kLoadingVersionText = "Version 1.11";
inline constexpr std::u16string_view kStartPageName = u"index.html";

inline constexpr std::string_view kExePathError = "Error getting file name.";
inline constexpr std::string_view kHeaderError = "Error getting header information.";
inline constexpr std::string_view kCorruptBookMessage =
    "This ZEL-Software EBook seems to be corrupt. Closing program.";
inline constexpr std::string_view kExtractError = "Error extracting files!! Closing program.";
inline constexpr std::string_view kEntryReadError = "Error reading file contents.";
inline constexpr std::string_view kIndexMissingMessage =
    "There was an error reading the index.html file. Closing program.";

// Handles messages for ms + 1 milliseconds by the tick counter; nothing for
// a negative ms below -1.
void PauseMs(Application& app, std::int32_t ms);

// Sets ExePath to the running program's own file and returns it; throws
// when the system cannot tell.
std::u16string GetExePath(Application& app);

// The program's own message dialog as every failure of the run shows it:
// an error with a single OK, in English.
void ShowErrorMessage(ArchiveHost& host, std::string_view text);

// The whole run; returns the process's exit code, 0 on every path.
int RunBook(Application& app, FormFactory& forms);

}  // namespace pagimor

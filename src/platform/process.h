#pragma once
// What a command-line program asks the system about itself and its standard
// streams. The viewer's application objects answer the same questions with
// their toolkits; this is for the tools, which have no windows.

#include <optional>
#include <string>
#include <string_view>

namespace pagimor::proc {

// Full path of the running program's own file; nothing when the system
// cannot say.
std::optional<std::u16string> OwnProgramPath();

enum class Stream { Output, Error };

// True when the stream goes to a terminal (a console on Windows), not to a
// file or a pipe.
bool IsTerminal(Stream stream);

// Writes UTF-8 text to the stream. A console on Windows is given it as wide
// characters, since it shows bytes in its own code page; everywhere else the
// bytes go out as they are (with the C runtime's line endings).
void WriteText(Stream stream, std::string_view utf8);

}  // namespace pagimor::proc

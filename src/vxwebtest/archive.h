#pragma once
// The reader of the book archive appended to the viewer's own file.
//
// Every routine opens ExePath afresh, works through one fixed-size window of
// the file, lets the host process its window messages after every block and
// closes the file again before it returns. A failing step is reported on the
// spot through the host and the routine goes on with its next step.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "MessDlgs/LangMessageTypes.h"

namespace pagimor {

// Markers, search keys, the count text and hex names are byte strings.
using Bytes = std::string;

// Offsets into the container are signed 32-bit; -1 means "not found".
inline constexpr std::int32_t kNotFound = -1;

// The container of the book archive: the running program's own file in the
// viewer, the book given on the command line in the packer.
extern std::u16string ExePath;

// Set when an entry's name cannot be decoded or is not a plain file name;
// the extraction stops when it finds it set.
extern bool AbortExtraction;

// What the archive routines need from the program that runs them.
class ArchiveHost {
 public:
  virtual ~ArchiveHost() = default;
  // Processes pending window messages once; called after every block.
  virtual void ProcessMessages() = 0;
  // The plain message box, for the numbered step failures.
  virtual void ShowPlainMessage(std::string_view text) = 0;
  // The program's own message dialog.
  virtual std::int32_t ShowLangMessage(std::string_view text, LangMessageType type,
                                       LangMessageButtons buttons, std::int32_t helpContext,
                                       MessageLanguage language) = 0;
};

// A host without windows that keeps every message to itself: for tools that
// judge the results rather than the messages.
class SilentArchiveHost final : public ArchiveHost {
 public:
  void ProcessMessages() override {}
  void ShowPlainMessage(std::string_view) override {}
  std::int32_t ShowLangMessage(std::string_view, LangMessageType, LangMessageButtons, std::int32_t,
                               MessageLanguage) override {
    return 1;
  }
};

// The stored search keys: every marker byte plus the marker shift. The plain
// markers exist only while a search runs, never in the program's file.
Bytes HeaderMarkerKey();
Bytes EntryTerminatorKey();
Bytes EndOfArchiveMarkerKey();

inline constexpr std::int32_t kHeaderMarkerLength = 17;
inline constexpr std::int32_t kEntryMarkerLength = 15;
inline constexpr std::int32_t kNameCloserLength = 5;
inline constexpr std::int32_t kEntryTerminatorLength = 15;
inline constexpr std::int32_t kEndOfArchiveMarkerLength = 17;
inline constexpr int kMaxNameUnits = 255;
// The longest file name Linux can create, in bytes of UTF-8.
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr int kMaxFileCount = 999;

// The two markers that are stepped over, never searched for.
inline constexpr std::string_view kEntryMarker = "<<##QUOMARFILE(";
inline constexpr std::string_view kNameCloser = ")##>>";

// The message shown for a name that cannot be used; its two lines are joined
// by a carriage return and a line feed.
inline constexpr std::string_view kBadNameMessage =
    "There was an error reading the ebook.\r\n"
    "The included filename could not be read. Closing program.";

// The name given back for an entry whose name was refused.
inline constexpr std::u16string_view kRefusedName = u"EConvertError";

// Turns a search key back into its marker: every byte minus the shift, mod 256.
Bytes UnshiftMarker(std::string_view key);

// Offset of the first occurrence of marker in ExePath, or -1.
std::int32_t FindMarker(std::string_view marker, ArchiveHost& host);

// Offset of the first occurrence at or after start, counted from the file's
// first byte, or -1.
std::int32_t FindMarkerFrom(std::string_view marker, std::int32_t start, ArchiveHost& host);

// The count text after the header at headerOffset, '<' bytes left out; sets
// nextEntry to the offset of the first entry marker.
Bytes ReadFileCount(std::int32_t headerOffset, std::int32_t& nextEntry, ArchiveHost& host);

// The name of the entry at entryOffset; sets dataStart before the name is
// decoded. A name that cannot be decoded or is not a plain file name is
// refused: the message, AbortExtraction set, and kRefusedName given back.
std::u16string ReadEntryName(std::int32_t entryOffset, std::int32_t& dataStart, ArchiveHost& host);

// Decodes a hex text of 4-digit UTF-16 code units; 1 to 3 trailing characters
// are ignored. A bad group is refused as in ReadEntryName.
std::u16string DecodeHexName(std::string_view hex, ArchiveHost& host);

// Writes the bytes of ExePath from start up to, not including, end into a new
// file at destination and sets nextEntry to end + 15. True only when the
// destination holds all of those bytes; false after the one message that
// says why: the destination could not be created (nextEntry then keeps its
// value), or a read, a write or the final close failed.
bool CopyRange(std::int32_t start, std::int32_t end, std::u16string_view destination,
               std::int32_t& nextEntry, ArchiveHost& host);

// True for a name that can stand as a file inside the book folder on every
// platform the book may be opened on.
bool IsPlainFileName(std::u16string_view name);

// True for a name under which Windows opens a device, not a file (CON,
// NUL, COM1, ...), whatever follows the first dot and whatever the case.
bool IsReservedDeviceName(std::u16string_view name);

// Why a name is not a plain file name, or nullptr when it is one.
const char* FileNameProblem(std::u16string_view name);

// True when s is a decimal whole number from 1 to kMaxFileCount; the value
// goes to count.
bool ParseFileCount(std::string_view s, int& count);

}  // namespace pagimor

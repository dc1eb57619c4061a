#pragma once
// The book archive's format, the one place both the viewer and the packer
// take it from: the markers and their search keys, how a name is written,
// which names and paths a book may carry, and how long each piece is.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sha256.h"

namespace pagimor {

// Markers, search keys, the count text and hex names are byte strings.
using Bytes = std::string;

// Offsets into the container are signed 32-bit; -1 means "not found".
inline constexpr std::int32_t kNotFound = -1;

// The stored search keys: every marker byte plus the marker shift. The plain
// markers exist only while a search runs, never in the program's file.
Bytes HeaderMarkerKey();
Bytes EntryTerminatorKey();
Bytes EndOfArchiveMarkerKey();

// Turns a search key back into its marker: every byte minus the shift, mod 256.
Bytes UnshiftMarker(std::string_view key);

inline constexpr std::int32_t kHeaderMarkerLength = 17;
inline constexpr std::int32_t kEntryMarkerLength = 15;
inline constexpr std::int32_t kNameCloserLength = 5;
inline constexpr std::int32_t kEntryTerminatorLength = 15;
inline constexpr std::int32_t kEndOfArchiveMarkerLength = 17;
inline constexpr int kMaxNameUnits = 255;
// The longest file name Linux can create, in bytes of UTF-8.
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr int kMaxFileCount = 999;
// The reader reads a name from this many bytes after its entry marker.
inline constexpr std::size_t kNameWindow = 1024;

// The two markers that are stepped over, never searched for.
inline constexpr std::string_view kEntryMarker = "<<##QUOMARFILE(";
inline constexpr std::string_view kNameCloser = ")##>>";

// --- Names ---

// Upper-case hex of the name's UTF-16 units, four digits each.
std::string EncodeHexName(std::u16string_view name);

// The units of a hex text, four digits a unit, upper or lower case; 1 to 3
// characters left at the end are ignored. Nothing when a group is not four
// hexadecimal digits.
std::optional<std::u16string> DecodeHexUnits(std::string_view hex);

// True for a name under which Windows opens a device, not a file (CON,
// NUL, COM1, ...), whatever follows the first dot and whatever the case.
bool IsReservedDeviceName(std::u16string_view name);

// Why a name is not a plain file name, or nullptr when it is one: a name
// that can stand as a file on every system the book may be opened on.
const char* FileNameProblem(std::u16string_view name);
bool IsPlainFileName(std::u16string_view name);

// An entry's name may be a path: plain file names joined by '/', which our
// packer writes for a folder tree. A flat name is a path of one component.
inline constexpr char16_t kPathSeparator = u'/';

// The components of a path, split at every '/' (empty ones included).
std::vector<std::u16string_view> PathComponents(std::u16string_view path);

// Why an entry name cannot stand inside the book folder, or empty when it
// can: the whole name at most 255 UTF-16 units; no '/' at its start or end
// and no two in a row; every component a plain file name. For a flat name
// the text is FileNameProblem's; for a path it names the component.
std::string EntryNameProblem(std::u16string_view name);
inline bool IsEntryName(std::u16string_view name) { return EntryNameProblem(name).empty(); }

// True when s is a decimal whole number from 1 to kMaxFileCount; the value
// goes to count.
bool ParseFileCount(std::string_view s, int& count);

// --- Layout ---

// The header: its marker and the count's digits.
std::int64_t HeaderLength(int count);
// The header as written: its marker and the count in decimal.
Bytes HeaderBytes(int count);
// What stands before an entry's data: entry marker, hex name, name closer.
Bytes EntryHeadBytes(std::u16string_view name);
// An entry from its marker to the end of the marker that closes it.
std::int64_t EntryLength(std::size_t nameUnits, std::int64_t dataSize, bool last);
// The first data byte of the entry at entryOffset whose hex text is
// hexLength bytes long.
std::int64_t DataStartOf(std::int64_t entryOffset, std::int64_t hexLength);
// Where the entry after one whose data ends at dataEnd begins.
std::int64_t NextEntryAfter(std::int64_t dataEnd);

// --- Self-check ---
//
// Our packer seals a book: right after the end-of-archive marker stands a
// trailer with the SHA-256 digest of the archive, from the first byte of
// the header marker to the last of the end-of-archive marker. It is text,
// so that it can never hold a marker, and it stands where the reader never
// looks for an entry.
inline constexpr std::string_view kSealPrefix = "PAGIMOR-SHA256:";
inline constexpr std::size_t kSealLength = kSealPrefix.size() + 64 + 1;

// The trailer for a digest: the prefix, 64 lower-case hex digits, a line feed.
Bytes SealBytes(const Sha256Digest& digest);

enum class SealForm {
  None,     // no trailer: a book from another writer, or from before seals
  Whole,    // a trailer, its digest in digest
  Damaged,  // the prefix of a trailer whose rest is cut short or changed
};

// Reads the trailer from the bytes that follow the end-of-archive marker
// (at least kSealLength of them when the file has them). Bytes that do not
// begin with the whole prefix are no trailer, whatever else they are.
SealForm ParseSeal(std::string_view after, Sha256Digest& digest);

}  // namespace pagimor

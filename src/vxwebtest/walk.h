#pragma once
// The one walk over a book archive: the viewer's extraction, the packer's
// list, extract and verify, and the check of a book before its folder is
// made all go through it, so each sees the archive as the others do. It
// calls the reader's routines in the order the viewer has always called
// them, and tells its visitor at every point where the viewer pauses.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vxwebtest/archive.h"

namespace pagimor {

struct ArchiveEntry {
  int index = 0;                // 0-based position in the archive
  std::int32_t entryOffset = 0;  // of the entry marker
  std::int32_t dataStart = 0;
  std::int32_t dataEnd = 0;     // of the marker that closes the entry
  bool closedByTerminator = false;  // else by the end-of-archive marker
  bool refused = false;             // the name was refused, and the walk went on
  std::u16string name;

  [[nodiscard]] std::int64_t size() const { return std::int64_t{dataEnd} - dataStart; }
};

// Why a walk ended before the last counted entry.
enum class WalkStop {
  None,             // every counted entry was found
  NoHeader,         // no header marker in the container
  BadCount,         // the count is not a number from 1 to 999
  BadName,          // a name was refused; the reader has said so
  Unclosed,         // no marker closes an entry's data
  EntryUnreadable,  // reading a later entry's name failed outright
  Visitor,          // the visitor ended the walk
};

struct ArchiveWalk {
  std::int32_t headerOffset = kNotFound;
  Bytes countText;
  int count = 0;
  std::vector<ArchiveEntry> entries;
  WalkStop stop = WalkStop::None;
  std::string error;  // empty when the walk reached the last counted entry
};

// The points between the walk's steps where the viewer's start-up pauses.
enum class WalkPoint {
  BeforeCount,      // before the count is read
  AfterCount,       // after it is read, before it is judged
  AfterFirstName,   // the first entry's name is read
  BeforeSearch,     // a later entry's name is read and accepted
  AfterSearch,      // the entry terminator has been searched for
  AfterEndSearch,   // a later entry's end-of-archive marker has been searched for
  BeforeCopy,       // a later entry's end is known
};

class WalkVisitor {
 public:
  virtual ~WalkVisitor() = default;
  // Every point of the walk as it passes it; index is the entry's.
  virtual void At(WalkPoint /*point*/, int /*index*/) {}
  // The count, once it has been judged a number of entries; false ends the
  // walk, with the reason in error.
  virtual bool OnCount(int /*count*/, std::string& /*error*/) { return true; }
  // Every entry as it is found (the last of walk.entries); false ends the
  // walk, with the reason in error.
  virtual bool OnEntry(const ArchiveWalk& /*walk*/, std::string& /*error*/) { return true; }
  // A refused name, and which rule it breaks; true goes on with the walk,
  // the entry marked as refused, as a check of the whole book wants to.
  virtual bool OnRefusedName(const ArchiveEntry& /*entry*/, const std::string& /*problem*/) { return false; }
};

// Walks the archive whose header marker stands at headerOffset.
ArchiveWalk WalkArchiveFrom(const ArchiveReader& reader, std::int32_t headerOffset, WalkVisitor& visitor);

// Finds the header marker first.
ArchiveWalk WalkArchive(const ArchiveReader& reader, WalkVisitor& visitor);

// Called for every entry as it is found; returns false to stop the walk,
// with the reason in error.
using EntryVisitor = std::function<bool(const ArchiveWalk& walk, std::string& error)>;
// Called for a refused name; returns true to go on.
using RefusalVisitor = std::function<bool(const ArchiveEntry& entry, const std::string& problem)>;
ArchiveWalk WalkArchive(const ArchiveReader& reader, const EntryVisitor& onEntry = {},
                        const RefusalVisitor& onRefused = {});

// What the trailer after an archive says of it.
struct SealCheck {
  enum class State { Unsealed, Holds, Broken };
  State state = State::Unsealed;
  std::int64_t archiveEnd = -1;  // just past the end-of-archive marker, when one was found
  std::int64_t end = -1;         // just past the trailer, or archiveEnd when there is none
  std::string problem;           // why a sealed book is broken
};

// Looks for the trailer after the archive that walk went through and, when
// there is one, checks the digest: a walk that stopped early on a sealed
// book breaks it too, since its writer made it whole. Reads through one
// fixed buffer, the host processing messages after every block.
SealCheck CheckSeal(const ArchiveReader& reader, const ArchiveWalk& walk);

}  // namespace pagimor

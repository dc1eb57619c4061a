#include "vxwebtest/walk.h"

#include <algorithm>
#include <limits>

#include "platform/text.h"

namespace pagimor {
namespace {

std::string Describe(const ArchiveEntry& entry) {
  std::string text = "entry " + std::to_string(entry.index + 1);
  if (entry.name != kRefusedName && !entry.name.empty()) text += " (" + ToUtf8(entry.name) + ")";
  return text;
}

ArchiveWalk& Stop(ArchiveWalk& walk, WalkStop stop, std::string error) {
  walk.stop = stop;
  walk.error = std::move(error);
  return walk;
}

class FunctionVisitor final : public WalkVisitor {
 public:
  explicit FunctionVisitor(const EntryVisitor& onEntry) : onEntry_(onEntry) {}
  bool OnEntry(const ArchiveWalk& walk, std::string& error) override { return !onEntry_ || onEntry_(walk, error); }

 private:
  const EntryVisitor& onEntry_;
};

}  // namespace

ArchiveWalk WalkArchiveFrom(const ArchiveReader& reader, std::int32_t headerOffset, WalkVisitor& visitor) {
  ArchiveWalk walk;
  walk.headerOffset = headerOffset;
  const Bytes terminator = UnshiftMarker(EntryTerminatorKey());
  const Bytes endMarker = UnshiftMarker(EndOfArchiveMarkerKey());
  std::int32_t next = 0;
  visitor.At(WalkPoint::BeforeCount, 0);
  walk.countText = reader.ReadFileCount(headerOffset, next);
  visitor.At(WalkPoint::AfterCount, 0);
  if (!ParseFileCount(walk.countText, walk.count)) {
    return Stop(walk, WalkStop::BadCount,
                "the file count \"" + walk.countText + "\" is not a number from 1 to " + std::to_string(kMaxFileCount));
  }
  if (std::string error; !visitor.OnCount(walk.count, error)) return Stop(walk, WalkStop::Visitor, error);
  for (int i = 0; i < walk.count; ++i) {
    ArchiveEntry entry;
    entry.index = i;
    entry.entryOffset = next;
    if (i == 0) {
      // The first entry's terminator is searched from the file's first
      // byte, and its name judged only after that search.
      entry.name = reader.ReadEntryName(next, entry.dataStart);
      visitor.At(WalkPoint::AfterFirstName, i);
      entry.dataEnd = reader.FindMarker(terminator);
      visitor.At(WalkPoint::AfterSearch, i);
      if (reader.aborted()) {
        return Stop(walk, WalkStop::BadName, Describe(entry) + ": " + "the name cannot be read or is not a plain file name");
      }
      entry.closedByTerminator = entry.dataEnd != kNotFound;
      if (!entry.closedByTerminator) entry.dataEnd = reader.FindMarkerFrom(endMarker, entry.dataStart);
    } else {
      try {
        entry.name = reader.ReadEntryName(next, entry.dataStart);
      } catch (...) {
        return Stop(walk, WalkStop::EntryUnreadable, Describe(entry) + ": its name cannot be read");
      }
      if (reader.aborted()) {
        return Stop(walk, WalkStop::BadName, Describe(entry) + ": " + "the name cannot be read or is not a plain file name");
      }
      visitor.At(WalkPoint::BeforeSearch, i);
      entry.dataEnd = reader.FindMarkerFrom(terminator, entry.dataStart);
      visitor.At(WalkPoint::AfterSearch, i);
      entry.closedByTerminator = entry.dataEnd != kNotFound;
      if (!entry.closedByTerminator) {
        entry.dataEnd = reader.FindMarkerFrom(endMarker, entry.dataStart);
        visitor.At(WalkPoint::AfterEndSearch, i);
      }
    }
    if (entry.dataEnd == kNotFound) return Stop(walk, WalkStop::Unclosed, Describe(entry) + ": no marker closes its data");
    if (i > 0) visitor.At(WalkPoint::BeforeCopy, i);
    walk.entries.push_back(entry);
    if (std::string error; !visitor.OnEntry(walk, error)) return Stop(walk, WalkStop::Visitor, error);
    next = static_cast<std::int32_t>(
        std::min<std::int64_t>(NextEntryAfter(entry.dataEnd), std::numeric_limits<std::int32_t>::max()));
  }
  return walk;
}

ArchiveWalk WalkArchive(const ArchiveReader& reader, WalkVisitor& visitor) {
  reader.ClearAbort();
  const std::int32_t header = reader.FindMarker(UnshiftMarker(HeaderMarkerKey()));
  if (header == kNotFound) {
    ArchiveWalk walk;
    return Stop(walk, WalkStop::NoHeader, "no book archive found");
  }
  return WalkArchiveFrom(reader, header, visitor);
}

ArchiveWalk WalkArchive(const ArchiveReader& reader, const EntryVisitor& onEntry) {
  FunctionVisitor visitor(onEntry);
  return WalkArchive(reader, visitor);
}

}  // namespace pagimor

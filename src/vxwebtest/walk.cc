#include "vxwebtest/walk.h"

#include <algorithm>
#include <limits>
#include <span>

#include "platform/file.h"
#include "platform/text.h"

namespace pagimor {
namespace {

std::string Describe(const ArchiveEntry& entry) {
  std::string text = "entry " + std::to_string(entry.index + 1);
  if (entry.name != kRefusedName && !entry.name.empty()) text += " (" + ToUtf8(entry.name) + ")";
  return text;
}

}  // namespace

Bytes ReadContainerBytes(std::int64_t offset, std::size_t length) {
  Bytes bytes(length, '\0');
  const fs::InputFile file(ExePath);
  const std::int64_t got =
      file.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return bytes;
}

ArchiveWalk WalkArchive(ArchiveHost& host, const EntryVisitor& onEntry) {
  ArchiveWalk walk;
  AbortExtraction = false;
  walk.headerOffset = FindMarker(UnshiftMarker(HeaderMarkerKey()), host);
  if (walk.headerOffset == kNotFound) {
    walk.error = "no book archive found";
    return walk;
  }
  std::int32_t next = 0;
  walk.countText = ReadFileCount(walk.headerOffset, next, host);
  if (!ParseFileCount(walk.countText, walk.count)) {
    walk.error = "the file count \"" + walk.countText + "\" is not a number from 1 to " + std::to_string(kMaxFileCount);
    return walk;
  }
  for (int i = 0; i < walk.count; ++i) {
    ArchiveEntry entry;
    entry.index = i;
    entry.entryOffset = next;
    entry.name = ReadEntryName(next, entry.dataStart, host);
    if (AbortExtraction) {
      walk.error = Describe(entry) + ": the name cannot be read or is not a plain file name";
      return walk;
    }
    // The first entry's terminator is searched from the file's first byte,
    // exactly as the viewer does it.
    entry.dataEnd = i == 0 ? FindMarker(UnshiftMarker(EntryTerminatorKey()), host)
                           : FindMarkerFrom(UnshiftMarker(EntryTerminatorKey()), entry.dataStart, host);
    entry.closedByTerminator = entry.dataEnd != kNotFound;
    if (!entry.closedByTerminator) {
      entry.dataEnd = FindMarkerFrom(UnshiftMarker(EndOfArchiveMarkerKey()), entry.dataStart, host);
      if (entry.dataEnd == kNotFound) {
        walk.error = Describe(entry) + ": no marker closes its data";
        return walk;
      }
    }
    walk.entries.push_back(entry);
    if (onEntry && !onEntry(walk, walk.error)) return walk;
    next = static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{entry.dataEnd} + kEntryTerminatorLength,
                                                             std::numeric_limits<std::int32_t>::max()));
  }
  return walk;
}

}  // namespace pagimor

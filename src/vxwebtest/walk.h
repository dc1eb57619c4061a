#pragma once
// Walks the archive in ExePath through the reader routines, in the order the
// viewer extracts it, without its pauses. The packer lists, extracts and
// verifies books with it.

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
  std::u16string name;

  [[nodiscard]] std::int64_t size() const { return std::int64_t{dataEnd} - dataStart; }
};

struct ArchiveWalk {
  std::int32_t headerOffset = kNotFound;
  Bytes countText;
  int count = 0;
  std::vector<ArchiveEntry> entries;
  std::string error;  // empty when the walk reached the last counted entry
};

// Called for every entry as it is found (the last of walk.entries); returns
// false to stop the walk, with the reason in error.
using EntryVisitor = std::function<bool(const ArchiveWalk& walk, std::string& error)>;

ArchiveWalk WalkArchive(ArchiveHost& host, const EntryVisitor& onEntry = {});

// Reads length bytes at offset of ExePath; fewer at its end.
Bytes ReadContainerBytes(std::int64_t offset, std::size_t length);

}  // namespace pagimor

#include "vxwebtest/walk.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>

#include "platform/file.h"
#include "platform/sha256.h"
#include "platform/text.h"

namespace pagimor {
namespace {

std::string Describe(const ArchiveEntry& entry) {
  std::string text = "entry " + std::to_string(entry.index + 1);
  if (entry.name != kRefusedName && !entry.name.empty()) text += " (" + ToUtf8(entry.name) + ")";
  return text;
}

// Which rule a refused name breaks, for the packer's messages.
std::string NameProblem(const ArchiveReader& reader, const ArchiveEntry& entry) {
  const std::int64_t hexStart = std::int64_t{entry.entryOffset} + kEntryMarkerLength;
  const std::int64_t hexLength = std::int64_t{entry.dataStart} - kNameCloserLength - hexStart;
  const std::optional<std::u16string> name =
      DecodeHexUnits(reader.ReadBytes(hexStart, static_cast<std::size_t>(std::max<std::int64_t>(hexLength, 0))));
  std::string text = "the name cannot be read or is not a plain file name";
  if (!name) return text + ": it is not written in hex digits";
  const std::string problem = EntryNameProblem(*name);
  if (problem.empty()) return text;
  if (IsValidUtf16(*name) && name->find_first_of(u"\r\n") == std::u16string::npos) text += ": \"" + ToUtf8(*name) + "\"";
  return text + ": " + problem;
}

ArchiveWalk& Stop(ArchiveWalk& walk, WalkStop stop, std::string error) {
  walk.stop = stop;
  walk.error = std::move(error);
  return walk;
}

class FunctionVisitor final : public WalkVisitor {
 public:
  FunctionVisitor(const EntryVisitor& onEntry, const RefusalVisitor& onRefused)
      : onEntry_(onEntry), onRefused_(onRefused) {}
  bool OnEntry(const ArchiveWalk& walk, std::string& error) override { return !onEntry_ || onEntry_(walk, error); }
  bool OnRefusedName(const ArchiveEntry& entry, const std::string& problem) override {
    return onRefused_ && onRefused_(entry, problem);
  }

 private:
  const EntryVisitor& onEntry_;
  const RefusalVisitor& onRefused_;
};

// True when the walk goes on past the refused name of entry.
bool GoOnAfterRefusal(const ArchiveReader& reader, WalkVisitor& visitor, ArchiveEntry& entry, std::string& problem) {
  problem = Describe(entry) + ": " + NameProblem(reader, entry);
  if (!visitor.OnRefusedName(entry, problem)) return false;
  reader.ClearAbort();
  entry.refused = true;
  return true;
}

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
      if (std::string problem; reader.aborted() && !GoOnAfterRefusal(reader, visitor, entry, problem)) {
        return Stop(walk, WalkStop::BadName, problem);
      }
      entry.closedByTerminator = entry.dataEnd != kNotFound;
      if (!entry.closedByTerminator) entry.dataEnd = reader.FindMarkerFrom(endMarker, entry.dataStart);
    } else {
      try {
        entry.name = reader.ReadEntryName(next, entry.dataStart);
      } catch (...) {
        return Stop(walk, WalkStop::EntryUnreadable, Describe(entry) + ": its name cannot be read");
      }
      if (std::string problem; reader.aborted() && !GoOnAfterRefusal(reader, visitor, entry, problem)) {
        return Stop(walk, WalkStop::BadName, problem);
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

ArchiveWalk WalkArchive(const ArchiveReader& reader, const EntryVisitor& onEntry, const RefusalVisitor& onRefused) {
  FunctionVisitor visitor(onEntry, onRefused);
  return WalkArchive(reader, visitor);
}

namespace {

constexpr std::size_t kDigestBlock = 64 * 1024;

// The digest of the container's bytes from begin up to end; nothing when
// they cannot all be read.
std::optional<Sha256Digest> DigestOf(const ArchiveReader& reader, std::int64_t begin, std::int64_t end) {
  const fs::InputFile file(reader.container());
  Sha256 hash;
  if (!file.is_open() || !hash.ok()) return std::nullopt;
  std::array<std::uint8_t, kDigestBlock> buffer{};
  for (std::int64_t at = begin; at < end;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(end - at, kDigestBlock));
    const std::int64_t got = file.ReadAt(at, std::span(buffer).first(want));
    reader.host().ProcessMessages();
    if (got <= 0) return std::nullopt;
    hash.Update(std::span(buffer).first(static_cast<std::size_t>(got)));
    at += got;
  }
  if (!hash.ok()) return std::nullopt;
  return hash.Finish();
}

}  // namespace

SealCheck CheckSeal(const ArchiveReader& reader, const ArchiveWalk& walk) {
  SealCheck check;
  if (walk.headerOffset == kNotFound) return check;
  // A whole walk ends at the marker that closes its last entry; a walk
  // that stopped early still finds where its writer put the trailer.
  std::int64_t endMarker = kNotFound;
  if (walk.stop == WalkStop::None && !walk.entries.empty() && !walk.entries.back().closedByTerminator) {
    endMarker = walk.entries.back().dataEnd;
  } else {
    endMarker = reader.FindMarkerFrom(UnshiftMarker(EndOfArchiveMarkerKey()), walk.headerOffset);
  }
  Sha256Digest sealed{};
  if (endMarker == kNotFound) {
    // The marker itself was damaged: a trailer that still ends the file
    // says the book was sealed.
    const std::int64_t size = fs::InputFile(reader.container()).Size();
    const auto trailerLength = static_cast<std::int64_t>(kSealLength);
    if (size - trailerLength <= walk.headerOffset ||
        ParseSeal(reader.ReadBytes(size - trailerLength, kSealLength), sealed) != SealForm::Whole) {
      return check;
    }
    check.state = SealCheck::State::Broken;
    check.end = size;
    check.problem = "the book carries a SHA-256 digest, but its end-of-archive marker is damaged";
    return check;
  }
  check.archiveEnd = endMarker + kEndOfArchiveMarkerLength;
  check.end = check.archiveEnd;
  const SealForm form = ParseSeal(reader.ReadBytes(check.archiveEnd, kSealLength), sealed);
  if (form == SealForm::None) return check;
  check.end = check.archiveEnd + static_cast<std::int64_t>(kSealLength);
  check.state = SealCheck::State::Broken;
  if (form == SealForm::Damaged) {
    check.problem = "the SHA-256 digest after the end-of-archive marker is cut short or damaged";
  } else if (walk.stop != WalkStop::None) {
    check.problem = "the book carries a SHA-256 digest, but its archive cannot be read whole: " + walk.error;
  } else if (walk.entries.back().closedByTerminator) {
    check.problem = "the book carries a SHA-256 digest, but its count does not match its entries";
  } else {
    const std::optional<Sha256Digest> digest = DigestOf(reader, walk.headerOffset, check.archiveEnd);
    if (!digest) {
      check.problem = "the archive cannot be read to check its SHA-256 digest";
    } else if (*digest != sealed) {
      check.problem = "the archive does not match its SHA-256 digest: a byte in it was changed";
    } else {
      check.state = SealCheck::State::Holds;
    }
  }
  return check;
}

}  // namespace pagimor

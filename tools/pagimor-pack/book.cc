// Reads books through the viewer's own archive reader: what the packer
// lists, extracts and verifies is exactly what the viewer would see.
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "commands.h"
#include "console.h"
#include "platform/file.h"
#include "platform/text.h"
#include "vxwebtest/walk.h"

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

// Points the reader at the book; false after a message when it is no file.
bool OpenBook(const std::string& book) {
  ExePath = Widen(book);
  const fs::InputFile file(ExePath);
  if (!file.is_open()) {
    Complain("cannot open " + book + ": " + fs::ErrorText(file.error()));
    return false;
  }
  return true;
}

bool IsUpperHex(std::string_view text) {
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace

int List(const std::string& book) {
  if (!OpenBook(book)) return kExitBadInput;
  ConsoleHost host(book);
  const ArchiveWalk walk = WalkArchive(host);
  if (!walk.error.empty()) {
    Complain(book + ": " + walk.error);
    return kExitBadInput;
  }
  std::int64_t total = 0;
  for (const ArchiveEntry& entry : walk.entries) {
    std::printf("%12lld  %s\n", static_cast<long long>(entry.size()), ToUtf8(entry.name).c_str());
    total += entry.size();
  }
  std::printf("%12lld  bytes in %zu files\n", static_cast<long long>(total), walk.entries.size());
  return kExitOk;
}

int Extract(const std::string& book, const std::string& dir) {
  if (!OpenBook(book)) return kExitBadInput;
  std::error_code ec;
  stdfs::create_directories(dir, ec);
  if (ec || !stdfs::is_directory(dir, ec)) {
    Complain("cannot make the folder " + dir + (ec ? ": " + ec.message() : ""));
    return kExitBadInput;
  }
  ConsoleHost host(book);
  const std::u16string folder = Widen(dir);
  Progress progress("extracting", fs::InputFile(ExePath).Size());
  const ArchiveWalk walk = WalkArchive(host, [&](const ArchiveWalk& sofar, std::string& error) {
    const ArchiveEntry& entry = sofar.entries.back();
    std::int32_t next = 0;
    const std::u16string target = fs::JoinPath(folder, entry.name);
    if (!CopyRange(entry.dataStart, entry.dataEnd, target, next, host)) {
      // A file cut short would pass for the book's own; better none at all.
      fs::RemoveFile(target);
      error = "cannot write " + ToUtf8(target);
      std::error_code ignored;
      if (stdfs::is_directory(stdfs::symlink_status(stdfs::path(target), ignored))) {
        error += ": a folder of that name is in the way";
      }
      return false;
    }
    progress.Step(entry.index + 1, sofar.count);
    return true;
  });
  if (!walk.error.empty()) {
    Complain(book + ": " + walk.error);
    return kExitBadInput;
  }
  return kExitOk;
}

int Verify(const std::string& book) {
  if (!OpenBook(book)) return kExitBadInput;
  ConsoleHost host(book);
  std::vector<std::string> problems;
  const auto problem = [&problems](std::string text) { problems.push_back(std::move(text)); };
  const std::int64_t size = fs::InputFile(ExePath).Size();
  if (size >= (std::int64_t{1} << 31)) problem("the book is 2 GiB or larger; its offsets cannot be read");

  std::set<std::u16string> names;
  ArchiveWalk walk;
  walk = WalkArchive(host, [&](const ArchiveWalk& sofar, std::string& error) {
    const ArchiveEntry& entry = sofar.entries.back();
    const std::string which = "entry " + std::to_string(entry.index + 1) + " (" + ToUtf8(entry.name) + ")";
    if (ReadContainerBytes(entry.entryOffset, kEntryMarker.size()) != kEntryMarker) {
      error = "entry " + std::to_string(entry.index + 1) + ": no entry marker at offset " +
              std::to_string(entry.entryOffset);
      return false;
    }
    const std::int64_t hexStart = std::int64_t{entry.entryOffset} + kEntryMarkerLength;
    const auto hexLength = static_cast<std::size_t>(entry.dataStart - kNameCloserLength - hexStart);
    const Bytes hex = ReadContainerBytes(hexStart, hexLength);
    if (hex.size() % 4 != 0 || !IsUpperHex(hex)) problem(which + ": the name is not written as upper-case hex digits");
    if (ReadContainerBytes(entry.dataStart - kNameCloserLength, kNameCloser.size()) != kNameCloser) {
      problem(which + ": the name is not closed by the name closer");
    }
    if (entry.dataEnd < entry.dataStart) {
      error = "the program before the archive holds an entry terminator at offset " + std::to_string(entry.dataEnd);
      return false;
    }
    if (!names.insert(entry.name).second) problem(which + ": the name stands twice; the later file replaces the earlier");
    return true;
  });
  if (!walk.error.empty()) problem(walk.error);
  if (walk.error.empty() && !walk.entries.empty()) {
    const ArchiveEntry& last = walk.entries.back();
    if (last.closedByTerminator) {
      problem("the count says " + std::to_string(walk.count) + " files, but more entries follow");
    }
    for (const ArchiveEntry& entry : walk.entries) {
      if (&entry != &last && !entry.closedByTerminator) {
        problem("the count says " + std::to_string(walk.count) + " files, but the archive ends after entry " +
                std::to_string(entry.index + 1));
        break;
      }
    }
    if (walk.count >= 1 && walk.entries.front().entryOffset != walk.headerOffset + kHeaderMarkerLength +
                                                                static_cast<std::int32_t>(walk.countText.size())) {
      problem("the file count is not followed directly by the first entry");
    }
    const std::int64_t after = size - (std::int64_t{last.dataEnd} + kEndOfArchiveMarkerLength);
    if (!last.closedByTerminator && after > 0) {
      problem(std::to_string(after) +
              " bytes follow the end-of-archive marker; the last file may hold the marker in its data");
    }
    if (names.count(u"index.html") == 0) problem("there is no index.html, the page a book opens on");
  }
  for (const std::string& text : problems) Complain(book + ": " + text);
  if (!problems.empty()) return kExitBadInput;
  std::int64_t total = 0;
  for (const ArchiveEntry& entry : walk.entries) total += entry.size();
  std::printf("%s: a sound book of %zu files, %lld bytes of data\n", book.c_str(), walk.entries.size(),
              static_cast<long long>(total));
  return kExitOk;
}

}  // namespace pagimor::pack

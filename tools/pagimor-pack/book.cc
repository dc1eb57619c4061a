// Reads books through the viewer's own archive reader: what the packer
// lists, extracts and verifies is exactly what the viewer would see.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "commands.h"
#include "console.h"
#include "letter_case.h"
#include "paths.h"
#include "pages.h"
#include "pe.h"
#include "platform/file.h"
#include "platform/text.h"
#include "vxwebtest/walk.h"

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

// False after a message when the book is no file the reader can read.
bool OpenBook(const std::string& book) {
  const fs::InputFile file(FilePath(ToPath(book)));
  if (!file.is_open()) {
    Complain("cannot open " + book + ": " + OpenProblem(book, file.error()));
    return false;
  }
  return true;
}

std::string SizeColumn(std::int64_t size) {
  std::string text = std::to_string(size);
  return std::string(text.size() < 12 ? 12 - text.size() : 0, ' ') + text;
}

// Bytes after the end-of-archive marker are a signature when the book is a
// signed Windows program: its security entry points at a certificate table
// that fills the rest of the file, after at most the zeros that align it.
// The size of that table, or nothing when the bytes are something else.
std::optional<std::int64_t> SignatureAfter(const ArchiveReader& reader, const fs::InputFile& book,
                                          std::int64_t archiveEnd) {
  constexpr std::int64_t kAlignment = 8;
  const std::optional<SecurityDirectory> security = ReadSecurityDirectory(book);
  if (!security || security->tableSize == 0) return std::nullopt;
  const std::int64_t gap = security->tableOffset - archiveEnd;
  if (gap < 0 || gap >= kAlignment || security->tableOffset + security->tableSize != book.Size()) return std::nullopt;
  const Bytes padding = reader.ReadBytes(archiveEnd, static_cast<std::size_t>(gap));
  if (padding != Bytes(static_cast<std::size_t>(gap), '\0') || !IsCertificateTable(book, security->tableOffset)) {
    return std::nullopt;
  }
  return security->tableSize;
}

bool IsUpperHex(std::string_view text) {
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

// What list and verify say of the book's digest.
const char* SealLine(const SealCheck& seal) {
  switch (seal.state) {
    case SealCheck::State::Holds:
      return "SHA-256 digest: holds";
    case SealCheck::State::Broken:
      return "SHA-256 digest: does not hold";
    case SealCheck::State::Unsealed:
      break;
  }
  return "SHA-256 digest: none (the book does not check itself)";
}

}  // namespace

int List(const std::string& book) {
  if (!OpenBook(book)) return kExitBadInput;
  ConsoleHost host(book);
  bool aborted = false;
  const ArchiveReader reader(FilePath(ToPath(book)), host, aborted);
  const ArchiveWalk walk = WalkArchive(reader);
  if (!walk.error.empty()) {
    Complain(book + ": " + walk.error);
    const SealCheck seal = CheckSeal(reader, walk);
    if (seal.state == SealCheck::State::Broken) Print(std::string(SealLine(seal)) + "\n");
    return kExitBadInput;
  }
  std::int64_t total = 0;
  for (const ArchiveEntry& entry : walk.entries) {
    Print(SizeColumn(entry.size()) + "  " + ToUtf8(entry.name) + "\n");
    total += entry.size();
  }
  Print(SizeColumn(total) + "  bytes in " + std::to_string(walk.entries.size()) + " files\n");
  const SealCheck seal = CheckSeal(reader, walk);
  Print(std::string(SealLine(seal)) + "\n");
  if (seal.state == SealCheck::State::Broken) {
    Complain(book + ": " + seal.problem);
    return kExitBadInput;
  }
  return kExitOk;
}

int Extract(const std::string& book, const std::string& dir, bool quiet) {
  if (!OpenBook(book)) return kExitBadInput;
  std::error_code ec;
  stdfs::create_directories(ToPath(dir), ec);
  if (ec || !stdfs::is_directory(ToPath(dir), ec)) {
    Complain("cannot make the folder " + dir + (ec ? ": " + ec.message() : ""));
    return kExitBadInput;
  }
  ConsoleHost host(book);
  bool aborted = false;
  const ArchiveReader reader(FilePath(ToPath(book)), host, aborted);
  const std::u16string folder = FilePath(ToPath(dir));
  // DIR itself may be a link the user made; nothing below it is followed.
  fs::Folder root;
  if (!root.Open(folder + fs::kSeparator)) {
    Complain("cannot open the folder " + dir + ": " + fs::ErrorText(root.error()));
    return kExitBadInput;
  }
  // Files and folders as any program makes them, less the umask: only the
  // viewer's own book folder is private.
  constexpr unsigned kFileMode = 0666;
  constexpr unsigned kFolderMode = 0777;
  Progress progress("extracting", quiet ? 0 : fs::InputFile(reader.container()).Size());
  const ArchiveWalk walk = WalkArchive(reader, [&](const ArchiveWalk& sofar, std::string& error) {
    const ArchiveEntry& entry = sofar.entries.back();
    std::int32_t next = 0;
    const std::u16string target = fs::JoinPath(folder, entry.name);
    if (!reader.CopyRange(entry.dataStart, entry.dataEnd, root, entry.name, next, kFileMode, kFolderMode)) {
      // A file cut short would pass for the book's own; better none at all.
      // It goes the way it came, never through a link.
      fs::RemoveInTree(root, entry.name);
      error = "cannot write " + PathText(ToPath(target));
      std::error_code ignored;
      const stdfs::file_status status = stdfs::symlink_status(ToPath(target), ignored);
      if (stdfs::is_directory(status)) error += ": a folder of that name is in the way";
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
  // Every refused name is told below with its entry and its rule.
  ConsoleHost host(book, false);
  bool aborted = false;
  const ArchiveReader reader(FilePath(ToPath(book)), host, aborted);
  std::vector<std::string> problems;
  const auto problem = [&problems](std::string text) { problems.push_back(std::move(text)); };
  const fs::InputFile file(reader.container());
  const std::int64_t size = file.Size();
  if (size >= (std::int64_t{1} << 31)) problem("the book is 2 GiB or larger; its offsets cannot be read");
  // Windows takes names that differ only in letter case for one file.
  const bool forWindows = IsWindowsProgram(file);
  std::map<std::u16string, std::string> upperNames;

  std::set<std::u16string> names;
  std::optional<std::int64_t> signature;
  SealCheck seal;
  ArchiveWalk walk;
  walk = WalkArchive(reader, [&](const ArchiveWalk& sofar, std::string& error) {
    const ArchiveEntry& entry = sofar.entries.back();
    const std::string which = "entry " + std::to_string(entry.index + 1) + " (" + ToUtf8(entry.name) + ")";
    if (reader.ReadBytes(entry.entryOffset, kEntryMarker.size()) != kEntryMarker) {
      error = "entry " + std::to_string(entry.index + 1) + ": no entry marker at offset " +
              std::to_string(entry.entryOffset);
      return false;
    }
    const std::int64_t hexStart = std::int64_t{entry.entryOffset} + kEntryMarkerLength;
    const auto hexLength = static_cast<std::size_t>(entry.dataStart - kNameCloserLength - hexStart);
    const Bytes hex = reader.ReadBytes(hexStart, hexLength);
    if (hex.size() % 4 != 0 || !IsUpperHex(hex)) problem(which + ": the name is not written as upper-case hex digits");
    if (reader.ReadBytes(entry.dataStart - kNameCloserLength, kNameCloser.size()) != kNameCloser) {
      problem(which + ": the name is not closed by the name closer");
    }
    if (entry.dataEnd < entry.dataStart) {
      error = "the program before the archive holds an entry terminator at offset " + std::to_string(entry.dataEnd);
      return false;
    }
    // Its refusal has been told already; its name is none to compare.
    if (entry.refused) return true;
    if (!names.insert(entry.name).second) {
      problem(which + ": the name stands twice; the later file replaces the earlier");
    } else if (forWindows) {
      const auto [it, fresh] = upperNames.emplace(UpperCase(entry.name), which);
      if (!fresh) {
        problem(which + ": the name differs only in letter case from that of " + it->second +
                "; on Windows the later file replaces the earlier");
      }
    }
    return true;
  }, [&](const ArchiveEntry&, const std::string& refusal) {
    // Every refused name is told, not only the first.
    problem(refusal);
    return true;
  });
  // On Windows a file whose path is, but for the case, a folder of another
  // entry's path stands where that folder has to be made.
  for (const auto& [upper, which] : upperNames) {
    for (std::size_t slash = upper.find(u'/'); slash != std::u16string::npos; slash = upper.find(u'/', slash + 1)) {
      if (const auto it = upperNames.find(upper.substr(0, slash)); it != upperNames.end()) {
        problem(it->second + ": on Windows the file stands where " + which + " needs a folder of that name");
      }
    }
  }
  if (!walk.error.empty()) {
    problem(walk.error);
    // A sealed book was whole when it was made: say so.
    if (const SealCheck broken = CheckSeal(reader, walk); broken.state == SealCheck::State::Broken) {
      problem(broken.problem);
    }
  }
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
    seal = CheckSeal(reader, walk);
    if (seal.state == SealCheck::State::Broken) problem(seal.problem);
    // The trailer, when there is one, ends the book as the marker does.
    const std::int64_t archiveEnd = seal.end >= 0 ? seal.end : std::int64_t{last.dataEnd} + kEndOfArchiveMarkerLength;
    const std::int64_t after = size - archiveEnd;
    if (!last.closedByTerminator && after > 0) {
      // A signature made after packing covers the archive too.
      signature = SignatureAfter(reader, file, archiveEnd);
      if (!signature) {
        problem(std::to_string(after) +
                (seal.state == SealCheck::State::Unsealed
                     ? " bytes follow the end-of-archive marker; the last file may hold the marker in its data"
                     : " bytes follow the SHA-256 digest after the end-of-archive marker"));
      }
    }
    if (names.count(u"index.html") == 0) {
      problem("there is no index.html, the page a book opens on" +
              IndexLetterCaseHint(std::vector<std::u16string>(names.begin(), names.end())));
    }
    const std::optional<SecurityDirectory> security = forWindows ? ReadSecurityDirectory(file) : std::nullopt;
    if (security && security->tableSize > 0 && security->tableOffset < walk.headerOffset) {
      problem("the viewer's signature lies before the archive and does not cover it, so Windows takes the book "
              "for a damaged program; pack an unsigned viewer, or sign the book after packing");
    }
  }
  if (forWindows && walk.error.empty()) {
    for (const ArchiveEntry& entry : walk.entries) {
      const std::string name = ToUtf8(entry.name);
      const auto head = static_cast<std::size_t>(std::min<std::int64_t>(entry.size(), kPageHeadLimit));
      if (IsHtmlPage(name) && LacksModernMode(reader.ReadBytes(entry.dataStart, head))) {
        WarnOldMode(book + ": " + name);
      }
    }
  }
  for (const std::string& text : problems) Complain(book + ": " + text);
  if (!problems.empty()) return kExitBadInput;
  std::int64_t total = 0;
  for (const ArchiveEntry& entry : walk.entries) total += entry.size();
  std::string report = book + ": a sound book of " + std::to_string(walk.entries.size()) + " files, " +
                       std::to_string(total) + " bytes of data";
  report += seal.state == SealCheck::State::Holds ? ", its SHA-256 digest holds" : ", without a SHA-256 digest";
  if (signature) report += ", signed (a certificate table of " + std::to_string(*signature) + " bytes follows it)";
  Print(report + "\n");
  return kExitOk;
}

}  // namespace pagimor::pack

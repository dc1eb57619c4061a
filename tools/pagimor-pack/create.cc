// Writes a book: the viewer followed by an archive of every file of a
// folder tree, keeping every rule that the viewer's reader relies on.

#include <algorithm>
#include <cstring>
#include <array>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

#include "commands.h"
#include "console.h"
#include "interrupt.h"
#include "letter_case.h"
#include "paths.h"
#include "pages.h"
#include "pe.h"
#include "tree.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "report.h"
#include "vxwebtest/archive.h"
#include "vxwebtest/search.h"

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

// The part of the viewer that goes into the book. A signed viewer goes in
// without its signature: the archive after it would break the signature
// anyway, and a book whose security entry still pointed into its middle
// could not be signed afresh. Its security entry and the checksum that came
// with the signature are written as zeros, as in a program never signed.
struct ViewerCopy {
  struct Zeros {
    std::int64_t offset;
    std::int64_t length;
  };
  std::int64_t size = 0;     // copied from its start
  std::vector<Zeros> zeros;  // in place of the viewer's bytes, in file order
};

// The books' offsets are signed 32-bit: the whole file stays below this.
constexpr std::int64_t kBookLimit = std::int64_t{1} << 31;

// Offset of marker in the file, or -1; nothing when the file cannot be read.
std::optional<std::int64_t> FindIn(const fs::InputFile& file, std::string_view marker) {
  SilentArchiveHost quiet;
  const detail::ScanResult result = detail::ScanFile(file, 0, marker, quiet);
  if (result.status == detail::ScanStatus::ReadFailed) return std::nullopt;
  return result.status == detail::ScanStatus::Found ? result.offset : -1;
}

// Refuses a book that would take the place of something it must not: the
// viewer (the next create would find a book where its viewer was), a file
// inside FOLDER (the next create would pack the book into itself), or
// anything that is not a plain file. Paths are compared as the files they
// name, whatever their spelling.
bool CheckOutput(const std::string& outputText, const std::string& folderText, const std::string& viewerText) {
  const stdfs::path output = ToPath(outputText);
  const stdfs::path folder = ToPath(folderText);
  const stdfs::path viewerPath = ToPath(viewerText);
  std::error_code ec;
#if defined(_WIN32)
  // Such a name opens the device in every folder.
  if (IsReservedDeviceName(FilePath(output.filename()))) {
    Complain(Quote(outputText) + " is a device on Windows, not a file; name the book otherwise");
    return false;
  }
#endif
  if (stdfs::is_directory(output, ec)) {
    Complain(Quote(outputText) + " is a folder; name the book with -o");
    return false;
  }
  const stdfs::file_status own = stdfs::symlink_status(output, ec);
  if (stdfs::exists(own) && !stdfs::is_regular_file(own) && !stdfs::is_symlink(own)) {
    Complain(Quote(outputText) + " is not a regular file; a book takes the place of a file only");
    return false;
  }
  if (stdfs::equivalent(output, viewerPath, ec)) {
    Complain(Quote(outputText) + " is the viewer " + Quote(viewerText) + " itself; write the book elsewhere");
    return false;
  }
  const stdfs::path absolute = stdfs::absolute(output, ec);
  if (ec) return true;  // creating the book will say what is wrong
  const stdfs::path parent = stdfs::weakly_canonical(absolute.parent_path(), ec);
  if (ec) return true;
  for (stdfs::path p = parent;; p = p.parent_path()) {
    if (stdfs::equivalent(p, folder, ec)) {
      Complain(Quote(outputText) + " would be inside the folder " + Quote(folderText) +
               ", and the next book made from it would hold this one; write the book elsewhere");
      return false;
    }
    if (p == p.parent_path()) break;
  }
  return true;
}

// Offset of the first terminator in the file, -1 for none, nothing when
// the file cannot be read; every byte read also goes into the hash, so that
// the one pass that checks the data also seals it.
std::optional<std::int64_t> ScanAndHash(const fs::InputFile& input, std::string_view terminator, Sha256& hash) {
  constexpr std::size_t kBlock = detail::kScanBlock;
  std::vector<std::uint8_t> buffer(detail::kMaxNeedle + kBlock);
  std::int64_t found = -1;
  std::size_t carried = 0;
  for (std::int64_t position = 0;;) {  // file offset of buffer[carried]
    const std::int64_t got = input.ReadAt(position, std::span(buffer).subspan(carried, kBlock));
    if (got < 0) return std::nullopt;
    if (got == 0) return found;
    hash.Update(std::span(buffer).subspan(carried, static_cast<std::size_t>(got)));
    const std::size_t filled = carried + static_cast<std::size_t>(got);
    if (found < 0) {
      const std::size_t hit = detail::FindBytes(std::span(buffer).first(filled), terminator);
      if (hit != detail::kNoMatch) found = position - static_cast<std::int64_t>(carried) + static_cast<std::int64_t>(hit);
    }
    const std::size_t keep = std::min(filled, terminator.size() - 1);
    std::memmove(buffer.data(), buffer.data() + filled - keep, keep);
    carried = keep;
    position += got;
  }
}

// Every file's data must not hold the entry terminator, which would end it
// early. The files are read in the book's order, and the archive's digest
// is made on the way, for the trailer that lets a book check itself.
bool CheckContents(const std::vector<SourceFile>& files, std::string_view terminator, std::string_view endMarker,
                   Sha256Digest& digest) {
  Sha256 hash;
  hash.Update(HeaderBytes(static_cast<int>(files.size())));
  bool ok = true;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const SourceFile& file = files[i];
    hash.Update(EntryHeadBytes(file.name));
    const fs::InputFile input(file.filePath);
    const std::optional<std::int64_t> at = input.is_open() ? ScanAndHash(input, terminator, hash) : std::nullopt;
    if (!at) {
      Complain(Quote(file.path) + ": " + (input.is_open() ? "cannot be read" : fs::ErrorText(input.error())));
      ok = false;
    } else if (*at >= 0) {
      Complain(Quote(file.path) + ": holds the entry terminator at offset " + std::to_string(*at) +
               ", which a book's data cannot carry");
      ok = false;
    }
    hash.Update(i + 1 < files.size() ? terminator : endMarker);
  }
  if (ok && !hash.ok()) {
    Complain("the system cannot compute the book's SHA-256 digest");
    ok = false;
  }
  digest = hash.Finish();
  return ok;
}

// A fixed order makes the output reproducible. The last entry ends at the
// first end-of-archive marker after its start, so the last file must not
// hold one: the latest file in name order that holds none goes last.
bool OrderFiles(std::vector<SourceFile>& files, std::string_view endMarker) {
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.utf8Name < b.utf8Name; });
  for (auto it = files.end(); it != files.begin();) {
    --it;
    const fs::InputFile input(it->filePath);
    const std::optional<std::int64_t> at = input.is_open() ? FindIn(input, endMarker) : std::nullopt;
    if (!at) {
      Complain(Quote(it->path) + ": cannot be read");
      return false;
    }
    if (*at < 0) {
      std::rotate(it, it + 1, files.end());
      return true;
    }
  }
  Complain("every file holds the end-of-archive marker, and the last file of a book cannot");
  return false;
}

// Windows takes names that differ only in letter case for one file: in the
// book folder the later would replace the earlier. That holds for whole
// paths, and for a file whose path is, but for the case, a folder of
// another's: it would stand where that folder has to be made.
bool CheckLetterCase(const std::vector<SourceFile>& files) {
  std::map<std::u16string, const SourceFile*> seen;
  bool ok = true;
  for (const SourceFile& file : files) {
    const auto [it, fresh] = seen.emplace(UpperCase(file.name), &file);
    if (!fresh) {
      Complain(Quote(it->second->path) + " and " + Quote(file.path) +
               ": the names differ only in letter case, and Windows, where this viewer runs, takes them for one file");
      ok = false;
    }
  }
  for (const SourceFile& file : files) {
    const std::u16string upper = UpperCase(file.name);
    for (std::size_t slash = upper.find(u'/'); slash != std::u16string::npos; slash = upper.find(u'/', slash + 1)) {
      const auto it = seen.find(upper.substr(0, slash));
      if (it != seen.end()) {
        Complain(Quote(it->second->path) + " and " + Quote(file.path) +
                 ": on Windows, where this viewer runs, the file would stand where the folder has to be made, "
                 "since names differ there only in letter case");
        ok = false;
      }
    }
  }
  return ok;
}

ViewerCopy PlanViewerCopy(const fs::InputFile& viewer) {
  ViewerCopy plan{viewer.Size(), {}};
  const std::optional<SecurityDirectory> security = ReadSecurityDirectory(viewer);
  if (security && security->tableSize > 0 && security->tableOffset >= security->entryOffset + 8 &&
      security->tableOffset + security->tableSize == plan.size && IsCertificateTable(viewer, security->tableOffset)) {
    plan.size = security->tableOffset;
    plan.zeros = {{security->checksumOffset, 4}, {security->entryOffset, 8}};
  }
  return plan;
}

// Writes everything to the open temporary file; false after a message.
bool WriteBook(fs::OutputFile& out, const fs::InputFile& viewer, const ViewerCopy& viewerCopy,
               const std::vector<SourceFile>& files, std::string_view terminator,
               std::string_view endMarker, const Sha256Digest& digest, std::int64_t total, bool quiet) {
  // Copies the bytes of from between begin and end.
  const auto copy = [&out](const fs::InputFile& from, std::int64_t begin, std::int64_t end, const std::string& what) {
    for (std::int64_t done = begin; done < end;) {
      const std::int64_t n = out.CopyFrom(from, done, end - done);
      if (n > 0) {
        done += n;
        continue;
      }
      if (n == 0) {
        Complain(Quote(what) + ": changed while the book was written");
        return false;
      }
      // No copy inside the kernel here: through a buffer instead.
      std::array<std::uint8_t, 64 * 1024> buffer{};
      const std::int64_t got = from.ReadAt(done, buffer);
      if (got <= 0) {
        Complain(Quote(what) + ": " + (got < 0 ? std::string("cannot be read") : "changed while the book was written"));
        return false;
      }
      const auto piece = static_cast<std::size_t>(std::min(got, end - done));
      if (!out.Write(std::span(buffer).first(piece))) return false;
      done += static_cast<std::int64_t>(piece);
    }
    return true;
  };
  std::int64_t copied = 0;
  for (const ViewerCopy::Zeros& zeros : viewerCopy.zeros) {
    if (!copy(viewer, copied, zeros.offset, "the viewer") ||
        !out.Write(std::string(static_cast<std::size_t>(zeros.length), '\0'))) {
      return false;
    }
    copied = zeros.offset + zeros.length;
  }
  if (!copy(viewer, copied, viewerCopy.size, "the viewer")) return false;
  if (!out.Write(HeaderBytes(static_cast<int>(files.size())))) return false;
  Progress progress("packing", quiet ? 0 : total);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const SourceFile& file = files[i];
    const fs::InputFile input(file.filePath);
    if (!input.is_open()) {
      Complain(Quote(file.path) + ": " + fs::ErrorText(input.error()));
      return false;
    }
    if (!out.Write(EntryHeadBytes(file.name)) || !copy(input, 0, file.size, file.path)) return false;
    if (!out.Write(i + 1 < files.size() ? terminator : endMarker)) return false;
    progress.Step(static_cast<int>(i + 1), static_cast<int>(files.size()));
  }
  // The trailer: a signature made later stands after it.
  return out.Write(SealBytes(digest));
}

}  // namespace

int Create(const CreateOptions& options) {
  std::vector<SourceFile> files;
  if (!CollectTree(options.folder, options.excludes, files)) return kExitBadInput;

  const std::optional<std::string> found =
      options.viewer.empty() ? FindViewer(options.system.value_or(OwnSystem())) : options.viewer;
  if (!found) return kExitBadInput;
  const std::string& viewerPath = *found;

  const Bytes header = UnshiftMarker(HeaderMarkerKey());
  const Bytes terminator = UnshiftMarker(EntryTerminatorKey());
  const Bytes endMarker = UnshiftMarker(EndOfArchiveMarkerKey());

  const fs::InputFile viewer(FilePath(ToPath(viewerPath)));
  if (!viewer.is_open()) {
    Complain("cannot open the viewer " + Quote(viewerPath) + ": " + OpenProblem(viewerPath, viewer.error()) +
             (options.viewer.empty() ? "; name one with --viewer" : ""));
    return kExitBadInput;
  }
  const std::optional<System> system = CheckViewer(viewer, viewerPath);
  if (!system || !MatchesRequest(*system, options.system, viewerPath)) return kExitBadInput;
  // The reader searches the header marker and the first terminator from the
  // file's first byte: a viewer holding either could never open its book.
  for (const auto& [marker, what] : {std::pair{std::string_view(header), "the header marker"},
                                     std::pair{std::string_view(terminator), "the entry terminator"}}) {
    const std::optional<std::int64_t> at = FindIn(viewer, marker);
    if (!at) {
      Complain("cannot read the viewer " + Quote(viewerPath));
      return kExitBadInput;
    }
    if (*at >= 0) {
      Complain("the viewer " + Quote(viewerPath) + " holds " + what + " at offset " + std::to_string(*at) +
               "; it cannot carry a book");
      return kExitBadInput;
    }
  }
  if (IsWindowsProgram(viewer) && !CheckLetterCase(files)) return kExitBadInput;
  if (*system == System::Windows) {
    for (const SourceFile& file : files) WarnIfOldModePage(file.filePath, file.utf8Name, file.path);
  }
  const std::string output = options.output.empty() ? DefaultBookName(options.folder, *system) : options.output;
  if (!CheckOutput(output, options.folder, viewerPath)) return kExitBadInput;

  const ViewerCopy viewerCopy = PlanViewerCopy(viewer);
  std::int64_t total = viewerCopy.size + HeaderLength(static_cast<int>(files.size()));
  std::int64_t data = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    total += EntryLength(files[i].name.size(), files[i].size, i + 1 == files.size());
    data += files[i].size;
  }
  total += static_cast<std::int64_t>(kSealLength);
  if (total >= kBookLimit) {
    Complain("the book would be " + std::to_string(total) + " bytes; a book stays below 2 GiB (" +
             std::to_string(kBookLimit) + " bytes)");
    return kExitBadInput;
  }

  Sha256Digest digest{};
  if (!OrderFiles(files, endMarker) || !CheckContents(files, terminator, endMarker, digest)) return kExitBadInput;

  // Written beside the target and renamed into place only when complete, so
  // a failure never leaves a partial book; what a killed run of the same
  // book left goes first.
  const std::u16string target = FilePath(ToPath(output));
  fs::RemoveStalePartials(target);
  PartialBookGuard partial;
  fs::OutputFile out;
  if (!out.CreateTempBeside(target)) {
    partial.Watch(nullptr);
    Complain("cannot write " + Quote(output) + ": " + fs::ErrorText(out.error()));
    return kExitBadInput;
  }
  const std::u16string temp = out.path();
  partial.Watch(&temp);
  // Runnable whatever the viewer file's bits (a viewer taken from a
  // package or a download may have none), and never set-user or set-group:
  // a book is the author's content, not a trusted program.
  const unsigned mode = BookMode();
  const bool written =
      WriteBook(out, viewer, viewerCopy, files, terminator, endMarker, digest, data, options.quiet) &&
      out.SetMode(mode);
  const fs::ErrorCode writeError = out.error();
  const bool closed = out.Close();
  const fs::ErrorCode renameError = written && closed ? fs::RenameFile(temp, target) : 0;
  if (!written || !closed || renameError != 0) {
    const fs::ErrorCode code = writeError != 0 ? writeError : (out.error() != 0 ? out.error() : renameError);
    fs::RemoveFile(temp);
    Complain("cannot write " + Quote(output) + ": " + fs::ErrorText(code));
    return kExitBadInput;
  }
  if (!options.quiet) ReportBook(output, files.size(), total, *system);
  return kExitOk;
}

}  // namespace pagimor::pack

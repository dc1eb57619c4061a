// Writes a book: the viewer followed by an archive of every file of a flat
// folder, keeping every rule that the viewer's reader relies on.

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

#include "commands.h"
#include "console.h"
#include "letter_case.h"
#include "paths.h"
#include "pages.h"
#include "pe.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"
#include "report.h"
#include "vxwebtest/archive.h"
#include "vxwebtest/search.h"

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

struct SourceFile {
  std::string path;         // for messages
  std::u16string filePath;  // as the file layer opens it
  std::string utf8Name;     // the name, valid UTF-8
  std::u16string name;
  std::int64_t size = 0;
};

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

std::string HexName(std::u16string_view name) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(name.size() * 4);
  for (const char16_t unit : name) {
    for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(kDigits[(unit >> shift) & 0xF]);
  }
  return hex;
}

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Offset of marker in the file, or -1; nothing when the file cannot be read.
std::optional<std::int64_t> FindIn(const fs::InputFile& file, std::string_view marker) {
  SilentArchiveHost quiet;
  const detail::ScanResult result = detail::ScanFile(file, 0, marker, quiet);
  if (result.status == detail::ScanStatus::ReadFailed) return std::nullopt;
  return result.status == detail::ScanStatus::Found ? result.offset : -1;
}

// FOLDER's name as given, or the folder's own name when it is given as "."
// or "..", with the ending a program has where the viewer runs.
std::string DefaultBookName(const std::string& folder, const fs::InputFile& viewer) {
  stdfs::path given = ToPath(folder).lexically_normal();
  if (given.filename().empty()) given = given.parent_path();  // "book/"
  std::string name = PathText(given.filename());
  if (name.empty() || name == "." || name == "..") {
    std::error_code ec;
    name = PathText(stdfs::canonical(ToPath(folder), ec).filename());
    if (ec || name.empty()) name = "book";
  }
  return name + (IsWindowsProgram(viewer) ? ".exe" : ".run");
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

// Collects the folder's files and refuses anything the format cannot carry.
bool CollectFiles(const std::string& folderText, std::vector<SourceFile>& files) {
  const stdfs::path folder = ToPath(folderText);
  std::error_code ec;
  if (!stdfs::is_directory(folder, ec)) {
    Complain(Quote(folderText) + " is not a folder");
    return false;
  }
  bool ok = true;
  stdfs::directory_iterator it(folder, ec);
  if (ec) {
    Complain("cannot read the folder " + Quote(folderText) + ": " + ec.message());
    return false;
  }
  for (const stdfs::directory_entry& entry : it) {
    SourceFile file;
    file.path = PathText(entry.path());
    file.filePath = FilePath(entry.path());
    const stdfs::file_status status = entry.status(ec);
    if (stdfs::is_directory(status)) {
      Complain(Quote(file.path) + ": is a subfolder; a book holds only the files directly inside its folder");
      ok = false;
      continue;
    }
    if (!stdfs::is_regular_file(status)) {
      Complain(Quote(file.path) + ": is not a regular file");
      ok = false;
      continue;
    }
#if defined(_WIN32)
    // Wide already; a lone surrogate is caught with the other name problems.
    const std::optional<std::u16string> name = FilePath(entry.path().filename());
#else
    const std::optional<std::u16string> name = FromUtf8(entry.path().filename().native());
    if (!name) {
      Complain(Quote(file.path) + ": the name is not valid UTF-8");
      ok = false;
      continue;
    }
#endif
    if (const char* problem = FileNameProblem(*name)) {
      Complain(Quote(file.path) + ": " + problem);
      ok = false;
      continue;
    }
    file.utf8Name = ToUtf8(*name);
    file.name = *name;
    file.size = static_cast<std::int64_t>(entry.file_size(ec));
    if (ec) {
      Complain(Quote(file.path) + ": " + ec.message());
      ok = false;
      continue;
    }
    files.push_back(std::move(file));
  }
  if (!ok) return false;
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.utf8Name < b.utf8Name; });
  if (files.empty()) {
    Complain(Quote(folderText) + " is empty");
    return false;
  }
  if (files.size() > static_cast<std::size_t>(kMaxFileCount)) {
    Complain(Quote(folderText) + " holds " + std::to_string(files.size()) + " files; a book holds at most " +
             std::to_string(kMaxFileCount));
    return false;
  }
  if (std::none_of(files.begin(), files.end(), [](const SourceFile& f) { return f.name == u"index.html"; })) {
    std::vector<std::u16string> names;
    for (const SourceFile& f : files) names.push_back(f.name);
    Complain(Quote(folderText) + " has no index.html, the page a book opens on" + IndexLetterCaseHint(names));
    return false;
  }
  return true;
}

// Every file's data must not hold the entry terminator, which would end it
// early.
bool CheckContents(const std::vector<SourceFile>& files, std::string_view terminator) {
  bool ok = true;
  for (const SourceFile& file : files) {
    const fs::InputFile input(file.filePath);
    const std::optional<std::int64_t> at = input.is_open() ? FindIn(input, terminator) : std::nullopt;
    if (!at) {
      Complain(Quote(file.path) + ": " + (input.is_open() ? "cannot be read" : fs::ErrorText(input.error())));
      ok = false;
    } else if (*at >= 0) {
      Complain(Quote(file.path) + ": holds the entry terminator at offset " + std::to_string(*at) +
               ", which a book's data cannot carry");
      ok = false;
    }
  }
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
// book folder the later would replace the earlier.
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
               const std::vector<SourceFile>& files, std::string_view header, std::string_view terminator,
               std::string_view endMarker, std::int64_t total, bool quiet) {
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
  std::string head(header);
  head += std::to_string(files.size());
  if (!out.Write(head)) return false;
  Progress progress("packing", quiet ? 0 : total);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const SourceFile& file = files[i];
    const fs::InputFile input(file.filePath);
    if (!input.is_open()) {
      Complain(Quote(file.path) + ": " + fs::ErrorText(input.error()));
      return false;
    }
    std::string entry(kEntryMarker);
    entry += HexName(file.name);
    entry += kNameCloser;
    if (!out.Write(entry) || !copy(input, 0, file.size, file.path)) return false;
    if (!out.Write(i + 1 < files.size() ? terminator : endMarker)) return false;
    progress.Step(static_cast<int>(i + 1), static_cast<int>(files.size()));
  }
  return true;
}

}  // namespace

int Create(const CreateOptions& options) {
  std::vector<SourceFile> files;
  if (!CollectFiles(options.folder, files)) return kExitBadInput;

  const std::optional<std::string> found =
      options.viewer.empty() ? FindViewer(options.system.value_or(OwnSystem())) : options.viewer;
  if (!found) return kExitBadInput;
  const std::string& viewerPath = *found;

  const Bytes header = UnshiftMarker(HeaderMarkerKey());
  const Bytes terminator = UnshiftMarker(EntryTerminatorKey());
  const Bytes endMarker = UnshiftMarker(EndOfArchiveMarkerKey());

  const fs::InputFile viewer(Widen(viewerPath));
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
  const std::string output = options.output.empty() ? DefaultBookName(options.folder, viewer) : options.output;
  if (!CheckOutput(output, options.folder, viewerPath)) return kExitBadInput;

  const ViewerCopy viewerCopy = PlanViewerCopy(viewer);
  std::int64_t total = viewerCopy.size + static_cast<std::int64_t>(header.size() + std::to_string(files.size()).size());
  std::int64_t data = 0;
  for (const SourceFile& file : files) {
    total += kEntryMarkerLength + 4 * static_cast<std::int64_t>(file.name.size()) + kNameCloserLength + file.size;
    data += file.size;
  }
  total += kEntryTerminatorLength * static_cast<std::int64_t>(files.size() - 1) + kEndOfArchiveMarkerLength;
  if (total >= kBookLimit) {
    Complain("the book would be " + std::to_string(total) + " bytes; a book stays below 2 GiB (" +
             std::to_string(kBookLimit) + " bytes)");
    return kExitBadInput;
  }

  if (!CheckContents(files, terminator) || !OrderFiles(files, endMarker)) return kExitBadInput;

  // Written beside the target and renamed into place only when complete, so
  // a failure never leaves a partial book.
  fs::OutputFile out;
  if (!out.CreateTempBeside(Widen(output))) {
    Complain("cannot write " + Quote(output) + ": " + fs::ErrorText(out.error()));
    return kExitBadInput;
  }
  const std::u16string temp = out.path();
  // Runnable whatever the viewer file's bits (a viewer taken from a
  // package or a download may have none), and never set-user or set-group:
  // a book is the author's content, not a trusted program.
  const unsigned mode = BookMode();
  const bool written =
      WriteBook(out, viewer, viewerCopy, files, header, terminator, endMarker, data, options.quiet) &&
      out.SetMode(mode);
  const fs::ErrorCode writeError = out.error();
  const bool closed = out.Close();
  const fs::ErrorCode renameError = written && closed ? fs::RenameFile(temp, Widen(output)) : 0;
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

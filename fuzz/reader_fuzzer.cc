// Feeds arbitrary bytes to the archive reader as the container, extracts
// whatever it finds into a tree as the viewer would, and checks its digest. Crashes and sanitizer reports are
// the findings; so is any file that appears outside the target folder.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "platform/text.h"
#include "vxwebtest/walk.h"

namespace {

namespace stdfs = std::filesystem;

// One scratch place per fuzzing process: the container and the folder.
struct Scratch {
  Scratch() {
    std::string pattern = (stdfs::temp_directory_path() / "pagimor-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root = pattern;
    stdfs::create_directory(root / "out");
  }
  ~Scratch() { stdfs::remove_all(root); }
  stdfs::path root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Scratch scratch;
  const stdfs::path book = scratch.root / "book";
  {
    pagimor::fs::OutputFile out;
    if (!out.Create(pagimor::Widen(book.string())) || !out.Write(std::span(data, size)) || !out.Close()) std::abort();
  }
  pagimor::fs::Folder folder;
  if (!folder.Open(pagimor::Widen((scratch.root / "out").string()))) std::abort();
  pagimor::SilentArchiveHost host;
  bool aborted = false;
  const pagimor::ArchiveReader reader(pagimor::Widen(book.string()), host, aborted);
  const pagimor::ArchiveWalk walk = pagimor::WalkArchive(reader, [&](const pagimor::ArchiveWalk& sofar, std::string&) {
    const pagimor::ArchiveEntry& entry = sofar.entries.back();
    std::int32_t next = 0;
    return reader.CopyRange(entry.dataStart, entry.dataEnd, folder, entry.name, next);
  });
  pagimor::CheckSeal(reader, walk);
  // Nothing but the container and the folder, and only files in the folder.
  for (const auto& e : stdfs::directory_iterator(scratch.root)) {
    const std::string name = e.path().filename().string();
    if (name != "book" && name != "out") __builtin_trap();
  }
  for (const auto& e : stdfs::recursive_directory_iterator(scratch.root / "out")) {
    if (e.is_symlink() || !(e.is_regular_file() || e.is_directory())) __builtin_trap();
  }
  for (const auto& e : stdfs::directory_iterator(scratch.root / "out")) stdfs::remove_all(e.path());
  return 0;
}

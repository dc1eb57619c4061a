#include "viewers.h"

#include <array>
#include <system_error>

#include "console.h"
#include "paths.h"
#include "platform/process.h"
#include "vxwebtest/archive.h"
#include "vxwebtest/search.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace pagimor::pack {
namespace {

namespace stdfs = std::filesystem;

// The viewer's tag, every byte increased by the marker shift: the packer
// itself must not hold the plain tag, or it would pass for a viewer.
constexpr std::string_view kViewerTagKey = ">Rcikoqt\"xkgygt\"7g3h2e9c@";

bool IsFile(const stdfs::path& path) {
  std::error_code ec;
  return stdfs::is_regular_file(path, ec);
}

std::string HowToGet(System system) {
  if (system == System::Windows) {
    return "it comes with the pagimor package for Linux (in /usr/lib/pagimor/) and in the Windows download "
           "beside pagimor-pack.exe, or build it from the sources with "
           "'cmake --preset win64 && cmake --build --preset win64'";
  }
  return "it comes with the pagimor package for Linux (in /usr/lib/pagimor/), or build it from the sources "
         "with 'cmake --preset release && cmake --build --preset release'";
}

}  // namespace

System OwnSystem() {
#if defined(_WIN32)
  return System::Windows;
#else
  return System::Linux;
#endif
}

std::string_view SystemName(System system) { return system == System::Windows ? "Windows" : "Linux"; }

std::optional<System> ParseSystem(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower == "linux") return System::Linux;
  if (lower == "windows") return System::Windows;
  return std::nullopt;
}

std::string_view ViewerFileName(System system) { return system == System::Windows ? "pagimor.exe" : "pagimor"; }

std::string DefaultBookName(const std::string& folder, System system) {
  stdfs::path given = ToPath(folder).lexically_normal();
  if (given.filename().empty()) given = given.parent_path();  // "book/"
  std::string name = PathText(given.filename());
  if (name.empty() || name == "." || name == "..") {
    std::error_code ec;
    name = PathText(stdfs::canonical(ToPath(folder), ec).filename());
    if (ec || name.empty()) name = "book";
  }
  return name + (system == System::Windows ? ".exe" : ".run");
}

std::vector<stdfs::path> ViewerPlaces(const stdfs::path& ownFolder, System system) {
  const stdfs::path name(ViewerFileName(system));
  std::vector<stdfs::path> places = {ownFolder.parent_path() / "lib" / "pagimor" / name, ownFolder / name};
  if (IsFile(ownFolder / "CMakeCache.txt")) {
    const stdfs::path builds = ownFolder.parent_path();
    if (system == System::Windows) {
      places.push_back(builds / "win64" / name);
      places.push_back(builds / "win64-release" / name);
    } else {
      places.push_back(builds / "release" / name);
      places.push_back(builds / "default" / name);
    }
  }
  // A folder's own name twice (a build folder for this very system).
  std::vector<stdfs::path> unique;
  for (const stdfs::path& place : places) {
    const stdfs::path normal = place.lexically_normal();
    bool seen = false;
    for (const stdfs::path& u : unique) seen = seen || u == normal;
    if (!seen) unique.push_back(normal);
  }
  return unique;
}

std::optional<std::string> FindViewer(System system) {
  const std::optional<std::u16string> self = proc::OwnProgramPath();
  std::vector<stdfs::path> places;
  if (self) places = ViewerPlaces(ToPath(*self).parent_path(), system);
  std::string looked;
  for (const stdfs::path& place : places) {
    if (IsFile(place)) return PathText(place);
    looked += (looked.empty() ? "" : ", ") + PathText(place);
  }
  Complain("no " + std::string(SystemName(system)) + " viewer (" + std::string(ViewerFileName(system)) + ") found" +
           (looked.empty() ? std::string() : " at " + looked) + "; " + HowToGet(system) +
           ", or name one with --viewer");
  return std::nullopt;
}

std::optional<System> CheckViewer(const fs::InputFile& viewer, const std::string& path) {
  std::array<std::uint8_t, 4> head{};
  const std::int64_t got = viewer.ReadAt(0, head);
  std::optional<System> system;
  if (got == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') system = System::Linux;
  if (got >= 2 && head[0] == 'M' && head[1] == 'Z') system = System::Windows;
  if (system) {
    SilentArchiveHost quiet;
    const detail::ScanResult tag = detail::ScanFile(viewer, 0, UnshiftMarker(kViewerTagKey), quiet);
    if (tag.status == detail::ScanStatus::ReadFailed) {
      Complain("cannot read the viewer " + Quote(path));
      return std::nullopt;
    }
    if (tag.status == detail::ScanStatus::Found) return system;
  }
  Complain(Quote(path) + " is not a Pagimor viewer; a book starts with the viewer program " +
           "(pagimor for Linux, pagimor.exe for Windows) that opens it");
  return std::nullopt;
}

unsigned BookMode() {
#if defined(_WIN32)
  return 0755u;
#else
  // The umask can only be read by setting it; it is put back at once.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0755u & ~static_cast<unsigned>(mask);
#endif
}

}  // namespace pagimor::pack

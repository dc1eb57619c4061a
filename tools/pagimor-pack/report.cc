#include "report.h"

#include "console.h"

namespace pagimor::pack {

bool MatchesRequest(System viewer, std::optional<System> requested, const std::string& viewerPath) {
  if (!requested || *requested == viewer) return true;
  Complain(Quote(viewerPath) + " is the viewer for " + std::string(SystemName(viewer)) + ", not for " +
           std::string(SystemName(*requested)) + "; leave out --for, or name the " +
           std::string(SystemName(*requested)) + " viewer");
  return false;
}

void ReportBook(const std::string& book, std::size_t files, std::int64_t bytes, System system) {
  Complain("wrote " + book + ", a book for " + std::string(SystemName(system)) + ": " + std::to_string(files) +
           (files == 1 ? " file, " : " files, ") + std::to_string(bytes) + " bytes");
}

}  // namespace pagimor::pack

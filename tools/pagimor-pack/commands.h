#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewers.h"

namespace pagimor::pack {

struct CreateOptions {
  std::string viewer;  // empty: the viewer for `system`, found from the packer's own place
  std::string output;  // empty: the folder's name + ".run" (".exe"), in the current folder
  std::string folder;
  std::vector<std::string> excludes;  // --exclude patterns
  std::optional<System> system;  // --for; empty: the viewer's, else the packer's own
  bool quiet = false;            // no success line, no progress
};

// Each returns the process's exit code and has reported any failure.
int Create(const CreateOptions& options);
int Preview(const CreateOptions& options);
int List(const std::string& book);
int Extract(const std::string& book, const std::string& dir, bool quiet = false);
int Verify(const std::string& book);

}  // namespace pagimor::pack

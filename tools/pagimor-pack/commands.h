#pragma once

#include <string>
#include <vector>

namespace pagimor::pack {

struct CreateOptions {
  std::string viewer;  // empty: the viewer beside the packer
  std::string output;  // empty: the folder's name + ".run" (".exe"), in the current folder
  std::string folder;
  std::vector<std::string> excludes;  // --exclude patterns
};

// Each returns the process's exit code and has reported any failure.
int Create(const CreateOptions& options);
int List(const std::string& book);
int Extract(const std::string& book, const std::string& dir);
int Verify(const std::string& book);

}  // namespace pagimor::pack

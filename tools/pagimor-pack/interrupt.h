#pragma once
// The partial book while it is being written: a packer told to stop (Ctrl+C,
// a closed terminal, kill) takes it away before it stops, where it would
// otherwise stay beside the target, hidden and as large as the book.

#include <string>

namespace pagimor::pack {

class PartialBookGuard {
 public:
  // From now on SIGINT, SIGTERM and SIGHUP remove the file at path, then end
  // the process as the signal would have. Windows has no such signals; there
  // a killed run's file is removed by the next create of the same book.
  explicit PartialBookGuard(const std::u16string& path);
  PartialBookGuard(const PartialBookGuard&) = delete;
  PartialBookGuard& operator=(const PartialBookGuard&) = delete;
  // The signals as they were; the file is the caller's again.
  ~PartialBookGuard();
};

}  // namespace pagimor::pack

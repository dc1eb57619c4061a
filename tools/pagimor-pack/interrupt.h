#pragma once
// The partial book while it is being written: a packer told to stop (Ctrl+C,
// a closed terminal, kill) takes it away before it stops, where it would
// otherwise stay beside the target, hidden and as large as the book.

#include <string>

namespace pagimor::pack {

class PartialBookGuard {
 public:
  // Made before the partial book: SIGINT, SIGTERM and SIGHUP wait until
  // Watch() says which file to remove, and then remove it and end the
  // process as the signal would have. Windows has no such signals; there a
  // killed run's file is removed by the next create of the same book.
  PartialBookGuard();
  // The file just made, or nothing when it could not be made.
  void Watch(const std::u16string* path);
  PartialBookGuard(const PartialBookGuard&) = delete;
  PartialBookGuard& operator=(const PartialBookGuard&) = delete;
  // The signals as they were; the file is the caller's again.
  ~PartialBookGuard();
};

}  // namespace pagimor::pack

#pragma once
// Access rules that keep a folder to the user the program runs as.

#include <cstdint>
#include <vector>

#include "platform/win32/winapi.h"

namespace pagimor::win32 {

// A folder's security that lets in its owner alone, and passes that on to
// everything made inside it: what mode 0700 is on POSIX. The parent's rules
// are not inherited.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity();
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

  // Nothing when the rules could not be made: the folder then takes the
  // temporary directory's, which is the user's own.
  SECURITY_ATTRIBUTES* attributes() { return ok_ ? &attributes_ : nullptr; }

 private:
  std::vector<std::uint8_t> user_;  // a TOKEN_USER and the SID it points to
  std::vector<std::uint8_t> acl_;   // allocated, so aligned for an ACL
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ok_ = false;
};

// The user the program runs as, and the owner it gives what it makes (the
// same user, or for an administrator the Administrators group): a TOKEN_USER
// and a TOKEN_OWNER with the SIDs they point to. Empty when the token
// cannot be read.
struct TokenIdentity {
  std::vector<std::uint8_t> user;
  std::vector<std::uint8_t> owner;
  [[nodiscard]] PSID UserSid() const;
  [[nodiscard]] PSID OwnerSid() const;
};
[[nodiscard]] TokenIdentity CurrentIdentity();

}  // namespace pagimor::win32

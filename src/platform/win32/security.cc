#include "platform/win32/security.h"

#include "platform/win32/handles.h"

namespace pagimor::win32 {
namespace {

std::vector<std::uint8_t> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what) {
  DWORD size = 0;
  ::GetTokenInformation(token, what, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<std::uint8_t> buffer(size);
  if (!::GetTokenInformation(token, what, buffer.data(), size, &size)) return {};
  return buffer;
}

}  // namespace

TokenIdentity CurrentIdentity() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const UniqueHandle owned(token);
  return {TokenInformation(token, TokenUser), TokenInformation(token, TokenOwner)};
}

PSID TokenIdentity::UserSid() const {
  return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
}

PSID TokenIdentity::OwnerSid() const {
  return owner.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner;
}

OwnerOnlySecurity::OwnerOnlySecurity() {
  TokenIdentity identity = CurrentIdentity();
  user_ = std::move(identity.user);
  if (user_.empty()) return;
  PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
  const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
  acl_.resize(aclSize);
  auto* acl = reinterpret_cast<ACL*>(acl_.data());
  ok_ = ::InitializeAcl(acl, aclSize, ACL_REVISION) &&
        ::AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                sid) &&
        ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
        ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  attributes_ = {sizeof attributes_, &descriptor_, FALSE};
}

}  // namespace pagimor::win32

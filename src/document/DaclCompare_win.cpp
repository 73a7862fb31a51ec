#include "DaclCompare.h"

#include <windows.h>

#include <cstring>

namespace {

// The DACL of a descriptor: null when there is none, which lets anyone do
// anything. *readable is false when the descriptor cannot be read.
const ACL* DaclOf(const std::vector<uint8_t>& security, bool* readable) {
  BOOL present = FALSE, defaulted = FALSE;
  ACL* dacl = nullptr;
  auto* descriptor = const_cast<uint8_t*>(security.data());
  *readable = !security.empty() && IsValidSecurityDescriptor(descriptor) &&
              GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  return present ? dacl : nullptr;
}

const ACE_HEADER* Entry(const ACL* acl, DWORD i) {
  void* entry = nullptr;
  return GetAce(const_cast<ACL*>(acl), i, &entry) ? static_cast<const ACE_HEADER*>(entry) : nullptr;
}

bool HasEntry(const ACL* acl, const ACE_HEADER* wanted) {
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    const ACE_HEADER* header = Entry(acl, i);
    if (header && header->AceType == wanted->AceType && header->AceSize == wanted->AceSize &&
        ((header->AceFlags ^ wanted->AceFlags) & ~INHERITED_ACE) == 0 &&
        std::memcmp(header + 1, wanted + 1, header->AceSize - sizeof *header) == 0)
      return true;
  }
  return false;
}

// Whether every entry of from that passes `which` is also in to.
template <typename Which>
bool AllIn(const ACL* from, const ACL* to, Which which) {
  for (DWORD i = 0; i < from->AceCount; ++i) {
    const ACE_HEADER* header = Entry(from, i);
    if (!header) return false;
    if (which(header) && !HasEntry(to, header)) return false;
  }
  return true;
}

bool Denies(const ACE_HEADER* header) { return header->AceType == ACCESS_DENIED_ACE_TYPE; }

}  // namespace

bool GrantsNoMore(const std::vector<uint8_t>& now, const std::vector<uint8_t>& before) {
  bool nowReadable = false, beforeReadable = false;
  const ACL* nowAcl = DaclOf(now, &nowReadable);
  const ACL* beforeAcl = DaclOf(before, &beforeReadable);
  if (!nowReadable || !beforeReadable) return false;
  if (!beforeAcl) return true;
  if (!nowAcl) return false;
  return AllIn(nowAcl, beforeAcl, [](const ACE_HEADER* h) { return !Denies(h); }) &&
         AllIn(beforeAcl, nowAcl, Denies);
}

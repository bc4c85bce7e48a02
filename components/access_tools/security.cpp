#include "access_tools/security.h"

#include <aclapi.h>

#include <cstddef>

namespace access_tools {

// The entries are read and built in Windows' layout, whatever the width.
static_assert(sizeof(ACL) == 8 && sizeof(ACE_HEADER) == 4);
static_assert(offsetof(ACCESS_ALLOWED_ACE, Mask) == 4 &&
              offsetof(ACCESS_ALLOWED_ACE, SidStart) == 8);

DWORD readSecurity(const std::string& path, ObjectSecurity* security) {
  PACL dacl = nullptr;
  DWORD st = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, &dacl, nullptr, security->descriptor.out());
  if (st) return st;
  security->dacl = dacl;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (GetSecurityDescriptorControl(security->descriptor.get(), &control, &revision))
    security->isProtected = (control & SE_DACL_PROTECTED) != 0;
  return ERROR_SUCCESS;
}

std::vector<Entry> entriesOf(PACL acl) {
  std::vector<Entry> entries;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&ace))) break;
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE &&
        ace->Header.AceType != ACCESS_DENIED_ACE_TYPE)
      continue;
    Entry entry;
    entry.type = ace->Header.AceType;
    entry.flags = ace->Header.AceFlags;
    entry.mask = ace->Mask;
    auto* sid = reinterpret_cast<const BYTE*>(&ace->SidStart);
    entry.sid.assign(sid, sid + GetLengthSid(&ace->SidStart));
    entries.push_back(std::move(entry));
  }
  return entries;
}

DWORD writeEntries(const std::string& path, const std::vector<Entry>& entries,
                   SECURITY_INFORMATION protection) {
  size_t size = sizeof(ACL);
  for (const Entry& entry : entries)
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + entry.sid.size();
  if (size > 0xFFFF) return ERROR_INVALID_ACL;
  std::vector<DWORD> buffer((size + 3) / 4);
  auto* acl = reinterpret_cast<PACL>(buffer.data());
  if (!InitializeAcl(acl, DWORD(size), ACL_REVISION)) return GetLastError();
  for (const Entry& entry : entries) {
    auto* sid = const_cast<BYTE*>(entry.sid.data());
    BOOL ok = entry.denies()
                  ? AddAccessDeniedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sid)
                  : AddAccessAllowedAceEx(acl, ACL_REVISION, entry.flags, entry.mask, sid);
    if (!ok) return GetLastError();
  }
  return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | protection, nullptr, nullptr, acl,
                               nullptr);
}

}  // namespace access_tools

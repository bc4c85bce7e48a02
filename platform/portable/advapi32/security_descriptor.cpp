// The security descriptor functions. A descriptor is absolute (pointers to its parts,
// which a program builds with the Set functions) or self-relative (one block with
// offsets, which GetNamedSecurityInfoA hands out); the Get functions read both.
#include <windows.h>

#include "advapi32/security_objects.h"
#include "machine/guard.h"

#include <cstring>

namespace {

// The fields of a self-relative descriptor holding the offsets of its parts.
enum Part : size_t { kOwner = 4, kGroup = 8, kSacl = 12, kDacl = 16 };
constexpr size_t kRelativeHeader = 20;

bool selfRelative(PSECURITY_DESCRIPTOR sd) {
  return (static_cast<SECURITY_DESCRIPTOR*>(sd)->Control & SE_SELF_RELATIVE) != 0;
}

// Where a part of a descriptor is, in either form; null when it has none.
void* partOf(PSECURITY_DESCRIPTOR sd, Part part) {
  auto* absolute = static_cast<SECURITY_DESCRIPTOR*>(sd);
  if (!selfRelative(sd)) {
    switch (part) {
      case kOwner:
        return absolute->Owner;
      case kGroup:
        return absolute->Group;
      case kSacl:
        return absolute->Sacl;
      case kDacl:
        return absolute->Dacl;
    }
  }
  DWORD offset;
  std::memcpy(&offset, static_cast<BYTE*>(sd) + part, 4);
  return offset ? static_cast<BYTE*>(sd) + offset : nullptr;
}

BOOL sidPart(PSECURITY_DESCRIPTOR sd, Part part, WORD defaultedFlag, PSID* sid, LPBOOL defaulted) {
  if (!sd || !sid || !defaulted) return pw::fail(ERROR_INVALID_PARAMETER);
  *sid = partOf(sd, part);
  *defaulted = (static_cast<SECURITY_DESCRIPTOR*>(sd)->Control & defaultedFlag) != 0;
  return TRUE;
}

BOOL setSidPart(PSECURITY_DESCRIPTOR sd, PSID SECURITY_DESCRIPTOR::*field, WORD defaultedFlag,
                PSID sid, BOOL defaulted) {
  if (!sd) return pw::fail(ERROR_INVALID_PARAMETER);
  if (selfRelative(sd)) return pw::fail(ERROR_INVALID_SECURITY_DESCR);
  auto* absolute = static_cast<SECURITY_DESCRIPTOR*>(sd);
  absolute->*field = sid;
  absolute->Control =
      WORD(defaulted ? absolute->Control | defaultedFlag : absolute->Control & ~defaultedFlag);
  return TRUE;
}

size_t aclSize(const void* acl) {
  WORD size;
  std::memcpy(&size, static_cast<const BYTE*>(acl) + 2, 2);
  return size;
}

}  // namespace

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
  if (!sd) return pw::fail(ERROR_INVALID_PARAMETER);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return pw::fail(ERROR_UNKNOWN_REVISION);
  std::memset(sd, 0, sizeof(SECURITY_DESCRIPTOR));
  static_cast<SECURITY_DESCRIPTOR*>(sd)->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL WINAPI IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (pw::security::readDescriptor(sd)) return TRUE;
    return pw::fail(ERROR_INVALID_SECURITY_DESCR);
  });
}

DWORD WINAPI GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd) {
  size_t length = selfRelative(sd) ? kRelativeHeader : sizeof(SECURITY_DESCRIPTOR);
  auto* control = &static_cast<SECURITY_DESCRIPTOR*>(sd)->Control;
  if (void* owner = partOf(sd, kOwner)) length += GetLengthSid(owner);
  if (void* group = partOf(sd, kGroup)) length += GetLengthSid(group);
  if (void* dacl = partOf(sd, kDacl); dacl && (*control & SE_DACL_PRESENT)) length += aclSize(dacl);
  if (void* sacl = partOf(sd, kSacl); sacl && (*control & SE_SACL_PRESENT)) length += aclSize(sacl);
  return DWORD(length);
}

BOOL WINAPI GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd,
                                         PSECURITY_DESCRIPTOR_CONTROL control, LPDWORD revision) {
  if (!sd || !control || !revision) return pw::fail(ERROR_INVALID_PARAMETER);
  auto* absolute = static_cast<SECURITY_DESCRIPTOR*>(sd);
  *control = absolute->Control;
  *revision = absolute->Revision;
  return TRUE;
}

BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* dacl,
                                      LPBOOL defaulted) {
  if (!sd || !present || !dacl || !defaulted) return pw::fail(ERROR_INVALID_PARAMETER);
  WORD control = static_cast<SECURITY_DESCRIPTOR*>(sd)->Control;
  *present = (control & SE_DACL_PRESENT) != 0;
  if (*present) {
    *dacl = static_cast<PACL>(partOf(sd, kDacl));
    *defaulted = (control & SE_DACL_DEFAULTED) != 0;
  }
  return TRUE;
}

BOOL WINAPI GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, LPBOOL defaulted) {
  return sidPart(sd, kOwner, SE_OWNER_DEFAULTED, owner, defaulted);
}

BOOL WINAPI GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, LPBOOL defaulted) {
  return sidPart(sd, kGroup, SE_GROUP_DEFAULTED, group, defaulted);
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl,
                                      BOOL defaulted) {
  if (!sd) return pw::fail(ERROR_INVALID_PARAMETER);
  if (selfRelative(sd)) return pw::fail(ERROR_INVALID_SECURITY_DESCR);
  auto* absolute = static_cast<SECURITY_DESCRIPTOR*>(sd);
  WORD control = WORD(absolute->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  if (present) {
    control |= SE_DACL_PRESENT;
    if (defaulted) control |= SE_DACL_DEFAULTED;
    absolute->Dacl = dacl;
  } else {
    absolute->Dacl = nullptr;
  }
  absolute->Control = control;
  return TRUE;
}

BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID owner, BOOL defaulted) {
  return setSidPart(sd, &SECURITY_DESCRIPTOR::Owner, SE_OWNER_DEFAULTED, owner, defaulted);
}

BOOL WINAPI SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID group, BOOL defaulted) {
  return setSidPart(sd, &SECURITY_DESCRIPTOR::Group, SE_GROUP_DEFAULTED, group, defaulted);
}

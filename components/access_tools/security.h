// An object's access list as the tools read and write it: entries in values, read with
// GetNamedSecurityInfoA and written back with SetNamedSecurityInfoA.
#pragma once

#include <windows.h>

#include "access_tools/accounts.h"
#include "local.h"  // src/win32

#include <string>
#include <vector>

namespace access_tools {

struct Entry {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
  Sid sid;

  bool inherited() const { return (flags & INHERITED_ACE) != 0; }
  bool denies() const { return type == ACCESS_DENIED_ACE_TYPE; }
};

// An object's security as GetNamedSecurityInfoA hands it out, kept for the list's sake.
struct ObjectSecurity {
  win32::LocalMemory descriptor;
  PACL dacl = nullptr;  // inside the descriptor; null for a null list
  bool isProtected = false;
};

// A Win32 error, 0 on success.
DWORD readSecurity(const std::string& path, ObjectSecurity* security);

// The allowed and denied entries of a list (other types are left out).
std::vector<Entry> entriesOf(PACL acl);

// Sets the object's own entries; `protection` is PROTECTED_ or UNPROTECTED_DACL_
// SECURITY_INFORMATION, or 0 to keep the object's. A Win32 error, 0 on success.
DWORD writeEntries(const std::string& path, const std::vector<Entry>& entries,
                   SECURITY_INFORMATION protection);

}  // namespace access_tools

// The accounts the workstation knows by name: the well-known identities every Windows
// has (Everyone, NT AUTHORITY\SYSTEM, the BUILTIN groups), with their SDDL aliases and
// their WELL_KNOWN_SID_TYPE values. The machine has no local user accounts of its own:
// programs run as its administrator, and its files belong to BUILTIN\Administrators.
#pragma once

#include <windows.h>

#include "advapi32/security_objects.h"

#include <span>
#include <string>
#include <string_view>

namespace pw::security {

struct Account {
  const char* sid;     // "S-1-5-32-545"
  const char* alias;   // "BU", or "" where SDDL has none
  int wellKnownType;   // a WELL_KNOWN_SID_TYPE, or -1
  const char* name;    // "Users"
  const char* domain;  // "BUILTIN", or "" for the world and creator identities
  SID_NAME_USE use;
};

std::span<const Account> accounts();

// The account of a name, "Users" or "BUILTIN\Users", compared without regard to case.
const Account* accountNamed(std::string_view name);
// The account of a SID.
const Account* accountOf(const void* sid);

// A SID in text form, "S-1-5-32-545" or an SDDL alias; empty when it is none.
Bytes parseSidText(std::string_view text);
// The text form of a valid SID.
std::string sidText(const void* sid);

// The identities the machine's files start with.
const Bytes& administratorsSid();
const Bytes& systemSid();

}  // namespace pw::security

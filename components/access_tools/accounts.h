// Accounts as the access tools write them: a name ("Users", "BUILTIN\Users") or, where
// the tool takes it, a SID after a '*' ("*S-1-5-32-545"); and the name a listing shows.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace access_tools {

using Sid = std::vector<BYTE>;

// The SID of an account text; a Win32 error (ERROR_NONE_MAPPED for a name no account
// has, ERROR_INVALID_SID for a bad SID after '*').
DWORD sidOfAccount(std::string_view text, bool starredSid, Sid* sid);

// "DOMAIN\name", or the name alone where the domain is empty ("Everyone"); the SID's
// text ("S-1-5-21-...") when no account has it.
std::string accountName(const void* sid);

}  // namespace access_tools

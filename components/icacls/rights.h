// icacls' permission texts: "(OI)(CI)(RX)", "F", "(RD,WD,X)" read into inheritance
// flags and an access mask, and an entry written as its listing shows it,
// "BUILTIN\Users:(I)(OI)(CI)(RX)".
#pragma once

#include <windows.h>

#include "access_tools/security.h"

#include <string>
#include <string_view>

namespace icacls {

// Inheritance flags and rights of a permission text; false when it is not one. Letters
// may be in either case; the simple rights may also stand in parentheses.
bool parsePermission(std::string_view text, BYTE* flags, ACCESS_MASK* mask);

// The rights of a mask: a simple right where one is held whole, then the specific
// rights left over, "(RX,W)", "(M,DC)", "(GR,GE)"; "(N)" for none.
std::string describeRights(ACCESS_MASK mask);

// One entry of a listing, without the account: "(I)(OI)(CI)(DENY)(W)".
std::string describeEntry(const access_tools::Entry& entry);

}  // namespace icacls

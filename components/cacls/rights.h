// cacls' rights: the letters of its switches (R read, W write, C change, F full
// control, N none) and an entry as its listing writes it,
// "BUILTIN\Users:(OI)(CI)R", or "(special access:)" followed by the rights one a line.
#pragma once

#include <windows.h>

#include "access_tools/security.h"

#include <string>

namespace cacls {

// The rights of a letter, either case; false for any other text. N (none) only where
// `allowNone`.
bool parseRights(const std::string& letter, bool allowNone, ACCESS_MASK* mask);

// The listing of one entry after the account's name and its colon. Lines after the
// first are indented by `column` blanks.
std::string describeEntry(const access_tools::Entry& entry, size_t column);

}  // namespace cacls

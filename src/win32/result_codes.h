// Every result code the system stores through an error holder, as constants of the
// code. The codes and their meanings live in one table, result_codes.def, which
// `pwcmd code` and the manual page pwexe(8) read too.
#pragma once

#include <windows.h>

namespace rc {

#define PW_RESULT_RANGE(title)
#define PW_RESULT_CODE(name, value, meaning) inline constexpr LONG name = value;
#include "result_codes.def"
#undef PW_RESULT_CODE
#undef PW_RESULT_RANGE

}  // namespace rc

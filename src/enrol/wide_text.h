// The enrolment components take and give wide system strings; the system's texts are
// 8-bit text in the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

#include "win32/oleaut.h"

namespace enrol {

// `text` widened through the ANSI code page, as a system string; throws
// std::bad_alloc when the conversion or the allocation fails.
win32::Bstr widen(const char* text);
// A system string narrowed through the ANSI code page (empty for a null string).
std::string narrow(BSTR text);

}  // namespace enrol

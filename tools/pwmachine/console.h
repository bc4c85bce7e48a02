// What pwmachine prints: results on standard output, errors on standard error,
// both in the console's (OEM) code page, as the system's own console tools
// print them. Texts end lines with "\n"; a Windows build's C runtime writes
// that as CR LF.
#pragma once

#include <string_view>

namespace pwm {

void out(std::string_view ansi);
void err(std::string_view ansi);

}  // namespace pwm

// Text helpers shared by the sub-commands: code-page conversions through the
// Win32 functions (so that both builds convert alike), ASCII case folding for
// switches and root names, and printf-style formatting into a std::string.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pwm {

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

// Conversions that keep embedded zeros; an empty input gives an empty output.
WString toWide(std::string_view text, UINT codePage = CP_ACP);
std::string toNarrow(WStringView text, UINT codePage = CP_ACP);

// ASCII text as UTF-16, for the fixed parts of what is written in UTF-16.
WString widen(std::string_view ascii);

bool equalsNoCase(std::string_view a, std::string_view b);
// "/?", "-?", "/h", "-h" or "--help": what asks a program or a verb for its usage.
bool isHelpSwitch(std::string_view arg);
std::string toLower(std::string_view text);
std::string toUpper(std::string_view text);

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
format(const char* fmt, ...);

}  // namespace pwm

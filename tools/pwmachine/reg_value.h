// Registry value types and data as reg.exe writes and reads them on a command
// line: type names, the one-line rendering `reg query` prints, and the bytes
// `reg add` stores for a /t and /d.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pwm::reg {

// "REG_SZ", ...; "0x%x" for a type without a name.
std::string typeName(DWORD type);
// The types `reg add /t` accepts, any case; false for any other.
bool parseAddType(std::string_view name, DWORD* type);

// The data as `reg query` shows it: text up to its first zero, REG_MULTI_SZ
// strings joined by "\0", numbers as 0x hex, anything else as hex digit pairs.
std::string displayData(DWORD type, std::string_view data);

// The bytes `reg add` stores for `type` and the /d text (null without /d), in
// the form the A functions take: strings in the ANSI code page with their
// terminating zero. `separator` is the /s character, 0 for the default "\0".
// On bad data, false and `error` says why.
bool buildData(DWORD type, const std::string* text, char separator, std::string* bytes,
               std::string* error);

}  // namespace pwm::reg

// The bytes of a value as the user gives them: "text" (the bytes of the text as
// typed), "hex" (pairs of hex digits; blanks and ':' between them are ignored),
// "number" (a 32-bit integer, decimal or 0x-prefixed hex, stored little-endian,
// as a REG_DWORD holds it) or "file" (the whole content of a file).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// False, with the reason in `failure`, when the data cannot be read.
bool readValueData(const std::string& kind, const std::string& data, std::vector<BYTE>* bytes,
                   std::string* failure);

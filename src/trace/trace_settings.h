// Reading the trace settings from the registry.
#pragma once

#include <windows.h>

#include <string>

inline constexpr const char* kTessera = "Software\\Velmora\\Tessera";

// A value of at most 4 bytes, taken as a 32-bit integer whatever its type.
bool readTraceDword(HKEY root, const char* name, DWORD* value);
// A string value, queried first with a size of 20 and again with the size the
// registry reports when that was not enough.
bool readTraceString(HKEY root, const char* name, std::string* value);

// Whole-file reads and writes through CreateFileA, ReadFile and WriteFile, with
// Win32 error codes, for the sub-commands that take file names.
#pragma once

#include <windows.h>

#include <string>

namespace pwm {

// The whole file; ERROR_NOT_ENOUGH_MEMORY for one too large to hold.
DWORD readFile(const std::string& path, std::string* bytes);

// Writes a new file, or replaces an existing one when `replace` is set;
// ERROR_FILE_EXISTS when the file exists and `replace` is not set.
DWORD writeFile(const std::string& path, const std::string& bytes, bool replace);

}  // namespace pwm

// Windows paths on the emulated workstation: drive letters mapped to host folders
// (c: is "<root>/drive_c", z: is the host's "/"), '\' or '/' as separators, the
// process's current directory, and names that compare case-insensitively.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pw::paths {

// The absolute Windows form of a path ("C:\dir\name"), resolved as GetFullPathName
// does: against the current directory, '.' and '..' folded, trailing dots and
// blanks of names dropped. Returns a Win32 error, 0 on success.
DWORD fullPath(std::string_view path, std::string* full);

// The host path of a Windows path. Existing names are matched without regard to
// case; the last name may be missing (it is then taken as written). Fails with
// ERROR_PATH_NOT_FOUND when a folder on the way is missing.
DWORD hostPath(std::string_view path, std::string* host);

// The current directory in its Windows form, always absolute.
const std::string& currentDirectory();
void setCurrentDirectory(std::string full);

// The error for a host path that does not exist: ERROR_PATH_NOT_FOUND when its
// folder is missing too, as on Windows, else ERROR_FILE_NOT_FOUND.
DWORD missingError(const std::string& host);

// Win32 error code for an errno value of a call on a path.
DWORD errorFromErrno(int err);

}  // namespace pw::paths

// The files and folders a tool's name argument stands for: the object it names, or with
// '*' and '?' in its last part the matching names of its folder; with /T also
// everything below a named folder, and the matches in every folder below the pattern's.
// Each is shown as the name was written, followed by the names found below it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace access_tools {

struct Target {
  std::string path;
  bool folder = false;
};

// Calls `visit` for each object, a folder before what it holds, until it answers false.
// A Win32 error when the name stands for nothing (ERROR_FILE_NOT_FOUND, or
// ERROR_PATH_NOT_FOUND for a missing folder), 0 otherwise.
DWORD walk(const std::string& name, bool recurse, const std::function<bool(const Target&)>& visit);

}  // namespace access_tools

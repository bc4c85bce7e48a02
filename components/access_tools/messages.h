// The system's text for the errors the access tools report, as FormatMessage gives it
// on an English Windows.
#pragma once

#include <windows.h>

#include <string>

namespace access_tools {

std::string systemMessage(DWORD error);

}  // namespace access_tools

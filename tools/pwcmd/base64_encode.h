// Standard base64 (RFC 4648 alphabet, '=' padding, no line breaks), the form in
// which pwexe's 'B' and 'N' commands carry bytes.
#pragma once

#include <windows.h>

#include <span>
#include <string>

std::string base64Encode(std::span<const BYTE> bytes);

// The number of 'H': leading white space skipped, one optional sign, decimal
// digits up to the first other character, accumulated modulo 2^32.
#pragma once

#include <windows.h>

LONG parseHwidNumber(const char* text);

// Security identifiers as text ("S-1-5-32-545", or the two-letter aliases "BU", "SY").
#pragma once

#include <windows.h>

PW_EXTERN_C BOOL WINAPI ConvertSidToStringSidA(PSID Sid, LPSTR* StringSid);
PW_EXTERN_C BOOL WINAPI ConvertStringSidToSidA(LPCSTR StringSid, PSID* Sid);

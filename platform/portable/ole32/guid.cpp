// Identifiers: new GUIDs, their registry text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// and back, and the identifiers of the root interfaces.
#include <objbase.h>

#include "machine/host_calls.h"

#include <cstdio>

extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

namespace {

constexpr int kGuidChars = 38;  // without the terminator

int hexValue(OLECHAR c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at `text`; false when any is not one.
bool readHex(const OLECHAR* text, int digits, unsigned long long* out) {
  *out = 0;
  for (int i = 0; i < digits; ++i) {
    int v = hexValue(text[i]);
    if (v < 0) return false;
    *out = (*out << 4) | unsigned(v);
  }
  return true;
}

}  // namespace

// A version 4 (random) GUID, as Windows makes them.
HRESULT WINAPI CoCreateGuid(GUID* pguid) {
  if (!pguid) return E_INVALIDARG;
  BYTE bytes[16];
  if (pw::host::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) return E_FAIL;
  pguid->Data1 = DWORD(bytes[0]) << 24 | DWORD(bytes[1]) << 16 | DWORD(bytes[2]) << 8 | bytes[3];
  pguid->Data2 = WORD(bytes[4] << 8 | bytes[5]);
  pguid->Data3 = WORD(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);
  for (int i = 0; i < 8; ++i) pguid->Data4[i] = bytes[8 + i];
  pguid->Data4[0] = BYTE((pguid->Data4[0] & 0x3F) | 0x80);
  return S_OK;
}

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax <= kGuidChars) return 0;
  char text[kGuidChars + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                unsigned(rguid.Data1), rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                rguid.Data4[7]);
  for (int i = 0; i <= kGuidChars; ++i) lpsz[i] = OLECHAR(text[i]);
  return kGuidChars + 1;
}

// Only the braced form is read; a text that is not one answers CO_E_CLASSSTRING.
HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!lpsz || !pclsid) return E_INVALIDARG;
  static constexpr int kDashes[] = {9, 14, 19, 24};
  int n = 0;
  while (n <= kGuidChars && lpsz[n]) ++n;
  if (n != kGuidChars || lpsz[0] != '{' || lpsz[37] != '}') return CO_E_CLASSSTRING;
  for (int at : kDashes)
    if (lpsz[at] != '-') return CO_E_CLASSSTRING;
  unsigned long long v[11];
  static constexpr int kStart[] = {1, 10, 15, 20, 22, 25, 27, 29, 31, 33, 35};
  static constexpr int kDigits[] = {8, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2};
  for (int i = 0; i < 11; ++i)
    if (!readHex(lpsz + kStart[i], kDigits[i], &v[i])) return CO_E_CLASSSTRING;
  pclsid->Data1 = DWORD(v[0]);
  pclsid->Data2 = WORD(v[1]);
  pclsid->Data3 = WORD(v[2]);
  for (int i = 0; i < 8; ++i) pclsid->Data4[i] = BYTE(v[3 + i]);
  return S_OK;
}

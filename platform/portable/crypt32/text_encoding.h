// Binary data as CryptBinaryToString writes it: base64 in lines of 64 characters, each
// ended by CR LF (LF alone with CRYPT_STRING_NOCR, no break with CRYPT_STRING_NOCRLF),
// between PEM header lines for the header formats; or raw hex.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pw::cert {

// The text of `size` bytes in the format `flags` names; 0, or the error the call fails with.
DWORD binaryToText(const BYTE* data, DWORD size, DWORD flags, const DWORD* count,
                   std::string* text);

// The text under CryptBinaryToString's size protocol: no buffer asks for the count with the
// terminating zero; a buffer gets the text, a zero behind it and its count without the zero.
template <class Char>
BOOL textOut(const std::basic_string<Char>& text, Char* out, DWORD* count) {
  DWORD needed = DWORD(text.size() + 1);
  if (!out) {
    *count = needed;
    return TRUE;
  }
  if (*count < needed) {
    *count = needed;
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  text.copy(out, text.size());
  out[text.size()] = 0;
  *count = DWORD(text.size());
  return TRUE;
}

}  // namespace pw::cert

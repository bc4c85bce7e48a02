// GetACP, MultiByteToWideChar and WideCharToMultiByte over the machine's code pages:
// Windows-1252 as the ANSI and OEM code page, and UTF-8.
#include <windows.h>

#include "machine/codepage.h"
#include "machine/guard.h"

#include <cstring>
#include <string>

using namespace pw::codepage;

UINT WINAPI GetACP(void) { return 1252; }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                               int dstLen) {
  return pw::guarded(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> int {
    if (!src || srcLen == 0 || dstLen < 0 || (dstLen > 0 && !dst)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    size_t n = srcLen < 0 ? std::strlen(src) + 1 : size_t(srcLen);
    std::u16string wide;
    if (codePage == CP_UTF8) {
      wide = utf8ToUtf16(std::string_view(src, n));
    } else if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == 1252) {
      wide = ansiToWide(std::string_view(src, n));
    } else {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (dstLen == 0) return int(wide.size());
    if (wide.size() > size_t(dstLen)) {
      std::memcpy(dst, wide.data(), size_t(dstLen) * sizeof(WCHAR));
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(dst, wide.data(), wide.size() * sizeof(WCHAR));
    return int(wide.size());
  });
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst,
                               int dstLen, LPCSTR defaultChar, LPBOOL usedDefault) {
  return pw::guarded(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> int {
    if (!src || srcLen == 0 || dstLen < 0 || (dstLen > 0 && !dst)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    size_t n = 0;
    if (srcLen < 0) {
      while (src[n]) ++n;
      ++n;
    } else {
      n = size_t(srcLen);
    }
    std::u16string_view in(src, n);
    std::string out;
    BOOL used = FALSE;
    if (codePage == CP_UTF8) {
      out = utf16ToUtf8(in);
    } else if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == 1252) {
      char fallback = defaultChar ? *defaultChar : '?';
      for (char16_t c : in) {
        int a = wideToAnsi(c);
        if (a < 0) {
          used = TRUE;
          out.push_back(fallback);
        } else {
          out.push_back(char(a));
        }
      }
    } else {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (usedDefault) *usedDefault = used;
    if (dstLen == 0) return int(out.size());
    if (out.size() > size_t(dstLen)) {
      std::memcpy(dst, out.data(), size_t(dstLen));
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(dst, out.data(), out.size());
    return int(out.size());
  });
}

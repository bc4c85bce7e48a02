// CryptStringToBinaryA for base64 text, bare or between PEM's "-----BEGIN ...-----" and
// "-----END ...-----" lines, and for binary passed through. White space in base64 is
// ignored; anything else that is no base64 fails with ERROR_INVALID_DATA.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_objects.h"
#include "machine/guard.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

int digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool decode(std::string_view text, std::string* out) {
  unsigned bits = 0, count = 0, pad = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    int d = digit(c);
    if (d < 0 || pad) return false;  // nothing may follow the padding
    bits = (bits << 6) | unsigned(d);
    if (++count % 4 == 0) {
      *out += {char(bits >> 16), char(bits >> 8), char(bits)};
      bits = 0;
    }
  }
  switch (count % 4) {
    case 0:
      return pad == 0 && !out->empty();
    case 2:
      *out += char(bits >> 4);
      return pad <= 2;
    case 3:
      *out += {char(bits >> 10), char(bits >> 2)};
      return pad <= 1;
    default:
      return false;
  }
}

// The base64 between the first BEGIN line and its END line.
bool betweenHeaders(std::string_view text, std::string_view* body, DWORD* skip) {
  size_t begin = text.find("-----BEGIN ");
  if (begin == std::string_view::npos) return false;
  size_t lineEnd = text.find("-----", begin + 11);
  if (lineEnd == std::string_view::npos) return false;
  size_t start = lineEnd + 5;
  size_t end = text.find("-----END ", start);
  if (end == std::string_view::npos) return false;
  *body = text.substr(start, end - start);
  *skip = DWORD(begin);
  return true;
}

}  // namespace

BOOL WINAPI CryptStringToBinaryA(LPCSTR pszString, DWORD cchString, DWORD dwFlags, BYTE* pbBinary,
                                 DWORD* pcbBinary, DWORD* pdwSkip, DWORD* pdwFlags) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pszString || !pcbBinary) return pw::cert::fail(ERROR_INVALID_PARAMETER);
    std::string_view text(pszString, cchString ? cchString : std::strlen(pszString));
    std::string out;
    DWORD skip = 0, used = dwFlags;
    std::string_view body;
    bool ok = false;
    switch (dwFlags) {
      case CRYPT_STRING_BASE64HEADER:
        ok = betweenHeaders(text, &body, &skip) && decode(body, &out);
        break;
      case CRYPT_STRING_BASE64:
        ok = decode(text, &out);
        break;
      case CRYPT_STRING_BINARY:
        out = text;
        ok = true;
        break;
      case CRYPT_STRING_BASE64_ANY:
      case CRYPT_STRING_ANY:
        if (betweenHeaders(text, &body, &skip) && decode(body, &out)) {
          ok = true;
          used = CRYPT_STRING_BASE64HEADER;
        } else if (out.clear(), skip = 0, decode(text, &out)) {
          ok = true;
          used = CRYPT_STRING_BASE64;
        } else if (dwFlags == CRYPT_STRING_ANY) {
          out = text;
          ok = true;
          used = CRYPT_STRING_BINARY;
        }
        break;
      default:
        return pw::cert::fail(ERROR_INVALID_PARAMETER);
    }
    if (!ok) return pw::cert::fail(ERROR_INVALID_DATA);
    if (pdwSkip) *pdwSkip = skip;
    if (pdwFlags) *pdwFlags = used;
    return pw::cert::copyOut(pbBinary, pcbBinary, out.data(), DWORD(out.size()));
  });
}
